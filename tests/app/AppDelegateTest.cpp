// The composition root's wiring: the launch order, the choice between the
// organisation server and the local backend, the locality base that follows
// whichever is ready, and what a swap's outcome does to the instance gate.

#include "app/AppDelegate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backend/Backend.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"
#include "support/ScriptedStarter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::HeldWork;
using ::testing::IsEmpty;
using testing::ManualMainQueue;
using testing::RecordingHost;
using testing::ScopedEnv;
using testing::ScriptedStarter;
using testing::TempDir;
using testing::TestHttpServer;

struct AppDelegateTest : ::testing::Test {
  TempDir dir;
  ScopedEnv root{"ORLATH_FRAMEWORK_HOME", dir / "data"};
  RecordingHost host;
  ManualMainQueue queue;
  HeldWork held;
  ScriptedStarter starter{dir};
  std::shared_ptr<AppDelegate> delegate;

  void SetUp() override {
    testing::writeFile(dir / "bundle/Lumivant", "the shell");
    testing::writeFile(dir / "bundle/Info.json", R"({"CFBundleShortVersionString": "1.0"})");
    delegate = std::make_shared<AppDelegate>(
        host, queue, Bundle::forExecutable(dir / "bundle/Lumivant"),
        AppDelegate::Starters{held.executor(), starter.function(), {}});
  }
  void TearDown() override {
    if (delegate) delegate->applicationWillTerminate();
  }

  // Runs the starts handed to the executor and what they post.
  void runStarts() {
    held.runAll();
    queue.runPending();
  }
  void launch(AppDelegate& app) {
    ASSERT_EQ(app.launch({"Lumivant"}).action, LaunchOutcome::Action::run);
  }
  // What the web view's navigation delegate answers for a navigation to url.
  NavigationActionPolicy decide(const NavigationAction& action) {
    return host.delegates().navigation.decideAction(action);
  }
};

TEST_F(AppDelegateTest, TheLaunchBuildsTheWindowThenDeclaresThenStartsTheBackend) {
  launch(*delegate);
  EXPECT_THAT(
      host.log.calls,
      ElementsAre("claimInstance", "openDisplay", "awaitReplacedInstance", "createWebView",
                  "installMainMenu", "setDrawsBackground false", "createMainWindow", "setDelegates",
                  "setZoomLevel", "showStartingIndicator 正在启动…", "activate"));
  ASSERT_EQ(held.items.size(), 2u) << "the declaration and the local start wait on the executor";
  EXPECT_FALSE(fs::exists(dir / "data/shell.json"));
  EXPECT_EQ(starter.starts(), 0);
  runStarts();
  EXPECT_TRUE(fs::exists(dir / "data/shell.json"));
  EXPECT_EQ(starter.site(0).python, dir / "bundle/Resources/python/bin/python3");
  EXPECT_EQ(starter.site(0).logDirectory, dir / "data/logs");
}

// A relauncher that notes the bundle and keeps the way to report the new shell's start.
struct HeldRelaunch {
  std::vector<std::string> bundles;
  std::function<void(StartReport)> report;
  ShellUpdate::Relauncher relauncher() {
    return [this](const std::string& bundle, std::function<void(StartReport)> reported) {
      bundles.push_back(bundle);
      report = std::move(reported);
    };
  }
};

struct SwapTest : AppDelegateTest {
  HeldRelaunch relaunch;
  std::shared_ptr<AppDelegate> swapping;

  void SetUp() override {
    AppDelegateTest::SetUp();
    swapping = std::make_shared<AppDelegate>(
        host, queue, Bundle::forExecutable(dir / "bundle/Lumivant"),
        AppDelegate::Starters{held.executor(), starter.function(), relaunch.relauncher()});
  }
  void TearDown() override {
    swapping->applicationWillTerminate();
    AppDelegateTest::TearDown();
  }
  // A newer shell that passes its trial: a small program that answers it.
  void stage() {
    testing::writeFile(dir / "data/payload/current.json", R"({"version": "1.3"})");
    const fs::path staged = dir / "data/payload/1.3/extras/shell/linux/Lumivant";
    fs::create_directories(staged.parent_path());
    fs::copy_file(RELAUNCH_RECORDER, staged);
  }
};

TEST_F(SwapTest, ASwapEndsTheLaunchBeforeAnythingIsBuiltAndQuitsOnceTheNewShellStarted) {
  stage();
  launch(*swapping);
  EXPECT_THAT(host.log.calls, ElementsAre("claimInstance", "openDisplay", "awaitReplacedInstance"));
  EXPECT_THAT(relaunch.bundles, ElementsAre(dir / "bundle"));
  EXPECT_THAT(held.items, IsEmpty());
  // The new shell takes this one's place on the bus before it says it started.
  swapping->applicationWasReplaced();
  queue.advance(5.0);
  EXPECT_EQ(host.log.terminations, 0) << "this shell waits for the new one's word";
  relaunch.report({true, {}});
  EXPECT_EQ(host.log.terminations, 1);
  EXPECT_EQ(host.log.calls.back(), "terminate");
  EXPECT_FALSE(fs::exists(dir / "data/shell.json"));
}

TEST_F(SwapTest, ANewShellThatDoesNotStartLeavesTheLaunchToGoOnWithThePreviousShell) {
  stage();
  launch(*swapping);
  relaunch.report({false, "it exited with status 1 before it showed its window"});
  EXPECT_EQ(testing::readFile(dir / "bundle/Lumivant"), "the shell");
  EXPECT_FALSE(fs::exists(dir / "bundle/Lumivant.old"));
  EXPECT_THAT(host.log.calls,
              ElementsAre("claimInstance", "openDisplay", "awaitReplacedInstance",
                          "reclaimInstance", "createWebView", "installMainMenu",
                          "setDrawsBackground false", "createMainWindow", "setDelegates",
                          "setZoomLevel", "showStartingIndicator 正在启动…", "activate"));
  EXPECT_EQ(held.items.size(), 2u) << "the declaration and the local start";
  EXPECT_EQ(host.log.terminations, 0);
  // This shell runs for the data root again: one that takes its place later
  // ends it a second on.
  swapping->applicationWasReplaced();
  queue.advance(0.9);
  EXPECT_EQ(host.log.terminations, 0);
  queue.advance(0.1);
  EXPECT_EQ(host.log.terminations, 1);
}

TEST_F(SwapTest, ANewShellThatDoesNotStartAfterTheBackendWasReadyLeavesThisOneShowingIt) {
  launch(*swapping);
  stage();
  runStarts();
  ASSERT_EQ(relaunch.bundles.size(), 1u) << "swapped once the backend was ready";
  EXPECT_THAT(host.log.loads, IsEmpty());
  relaunch.report({false,
                   "it was killed by signal 11 (Segmentation fault) before it showed "
                   "its window"});
  ASSERT_EQ(host.log.loads.size(), 1u);
  EXPECT_EQ(host.log.loads[0].url, starter.handedOut(0)->url().absoluteString());
  EXPECT_EQ(testing::readFile(dir / "bundle/Lumivant"), "the shell");
}

TEST_F(AppDelegateTest, MenuAndWindowCarryTheShellsSettings) {
  launch(*delegate);
  ASSERT_EQ(host.log.menu.menus.size(), 3u);
  EXPECT_EQ(host.log.menu.menus[0].title, "Lumivant");
  ASSERT_EQ(host.log.menu.menus[0].items.size(), 1u);
  EXPECT_EQ(host.log.menu.menus[0].items[0].title, "退出 Lumivant");
  EXPECT_EQ(host.log.menu.menus[0].items[0].action, MenuAction::terminate);
  EXPECT_EQ(host.log.menu.menus[0].items[0].shortcut, "<Primary>q");
  const auto& edit = host.log.menu.menus[1];
  EXPECT_EQ(edit.title, "编辑");
  std::vector<std::string> titles, shortcuts;
  for (const auto& item : edit.items) {
    titles.push_back(item.title);
    shortcuts.push_back(item.shortcut);
  }
  EXPECT_THAT(titles, ElementsAre("撤销", "重做", "剪切", "复制", "粘贴", "全选"));
  EXPECT_THAT(shortcuts, ElementsAre("<Primary>z", "<Primary><Shift>z", "<Primary>x", "<Primary>c",
                                     "<Primary>v", "<Primary>a"));
  const auto& view = host.log.menu.menus[2];
  EXPECT_EQ(view.title, "视图");
  std::vector<std::string> viewItems;
  for (const auto& item : view.items) {
    std::string keys = item.shortcut;
    for (const auto& more : item.moreShortcuts) keys += " " + more;
    viewItems.push_back(item.title + " " + keys);
  }
  EXPECT_THAT(
      viewItems,
      ElementsAre("后退 <Alt>Left", "前进 <Alt>Right", "重新载入 F5 <Primary>r",
                  "放大 <Primary>plus <Primary>equal <Primary>KP_Add",
                  "缩小 <Primary>minus <Primary>KP_Subtract", "实际大小 <Primary>0 <Primary>KP_0",
                  "在页面中查找… <Primary>f", "查找下一个 <Primary>g F3",
                  "查找上一个 <Primary><Shift>g <Shift>F3", "打印… <Primary>p", "全屏 F11"));
  // Until a page of the app shows there is nowhere to go back to and nothing to reload.
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::goBack));
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::goForward));
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::reload));
  EXPECT_EQ(host.log.windowSettings.title, "Lumivant");
  EXPECT_EQ(host.log.windowSettings.width, 1280);
  EXPECT_EQ(host.log.windowSettings.height, 840);
  EXPECT_EQ(host.log.windowSettings.minWidth, 900);
  EXPECT_EQ(host.log.windowSettings.minHeight, 600);
  EXPECT_EQ(host.log.windowSettings.frameAutosaveName, "main");
  EXPECT_EQ(host.log.windowSettings.iconPath, dir / "bundle/Resources/lumivant.svg");
  EXPECT_FALSE(host.log.drawsBackground);
  EXPECT_TRUE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}

// The engine's developer tools are the app's author's: the option or the
// variable set to 1 turns them on with the view menu's item; users never see them.
TEST_F(AppDelegateTest, TheDeveloperToolsComeOnlyWithTheAuthorsOptionOrVariable) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<std::string> variable;
    bool on;
  };
  const std::vector<Case> cases = {
      {{"Lumivant"}, std::nullopt, false}, {{"Lumivant", "--developer-tools"}, std::nullopt, true},
      {{"Lumivant"}, "1", true},           {{"Lumivant"}, "0", false},
      {{"Lumivant"}, "", false},
  };
  for (const Case& c : cases) {
    ScopedEnv variable{"LUMIVANT_DEVELOPER_TOOLS", c.variable};
    RecordingHost own;
    auto app =
        std::make_shared<AppDelegate>(own, queue, Bundle::forExecutable(dir / "bundle/Lumivant"),
                                      AppDelegate::Starters{held.executor(), {}, {}});
    ASSERT_EQ(app->launch(c.arguments).action, LaunchOutcome::Action::run);
    std::vector<std::string> view;
    for (const auto& item : own.log.menu.menus.at(2).items) {
      if (item.action == MenuAction::showDeveloperTools)
        view.push_back(item.title + " " + item.shortcut + " " + item.moreShortcuts.at(0));
    }
    app->performMenuAction(MenuAction::showDeveloperTools);
    const auto calls = [&own](const char* call) {
      return std::count(own.log.calls.begin(), own.log.calls.end(), call);
    };
    const std::string name = c.arguments.back() + " " + c.variable.value_or("(unset)");
    if (c.on) {
      EXPECT_THAT(view, ElementsAre("开发者工具 <Primary><Shift>i F12")) << name;
      EXPECT_EQ(calls("enableDeveloperTools"), 1) << name;
      EXPECT_EQ(calls("showDeveloperTools"), 1) << name;
      EXPECT_FALSE(pageHasShortcutFirst(MenuAction::showDeveloperTools));
    } else {
      EXPECT_THAT(view, ElementsAre()) << name;
      EXPECT_EQ(calls("enableDeveloperTools"), 0) << name;
      EXPECT_EQ(calls("showDeveloperTools"), 0) << name;
    }
    app->applicationWillTerminate();
  }
}

TEST_F(AppDelegateTest, AServerFileSendsTheLaunchToTheServerAndStartsNoLocalBackend) {
  TestHttpServer server;
  server.answer("/app/health/ready", 200);
  testing::writeFile(dir / "data/server.json", "{\"url\": \"" + server.origin() + "/app/\"}");
  launch(*delegate);
  ASSERT_EQ(held.items.size(), 2u) << "the declaration and the server's probe";
  runStarts();
  ASSERT_EQ(host.log.loads.size(), 1u);
  EXPECT_EQ(host.log.loads[0].url, server.origin() + "/app/");
  EXPECT_THAT(server.requestedPaths(), ElementsAre("/app/health/ready"));
  EXPECT_EQ(starter.starts(), 0);
  EXPECT_EQ(decide({server.origin() + "/app/page.html"}), NavigationActionPolicy::allow);
  EXPECT_THAT(host.log.confinements, IsEmpty()) << "a server's pages carry no secret";
  // An earlier local run's secret is taken back all the same.
  EXPECT_THAT(host.log.calls, Contains("liftConfinement lumivant-backend-secret"));
}

TEST_F(AppDelegateTest, TheLocalityBaseIsHeldDuringARestartAndFollowsTheNextBackend) {
  launch(*delegate);
  runStarts();
  const std::string first = starter.handedOut(0)->url().absoluteString();
  ASSERT_THAT(host.log.loads, ::testing::SizeIs(1));
  EXPECT_EQ(host.log.loads[0].url, first);
  EXPECT_EQ(decide({first + "navigation.html"}), NavigationActionPolicy::allow);

  const size_t posted = queue.postedCount();
  starter.exitWith(Backend::restartExitCode);
  ASSERT_TRUE(queue.waitForPosted(posted + 1));
  queue.runPending();
  // Between the exit and the next ready backend the old address stays the
  // app's own: a click on it is held back, never handed to the system, while
  // the window says it is starting and the next start is on its way.
  const NavigationAction click{first + "navigation.html", NavigationType::linkActivated, false,
                               true};
  EXPECT_EQ(decide(click), NavigationActionPolicy::cancel);
  host.delegates().navigation.createWebViewFor(click);
  EXPECT_EQ(decide({"about:blank"}), NavigationActionPolicy::allow);
  EXPECT_THAT(host.log.opened, IsEmpty());
  EXPECT_EQ(host.log.calls.back(), "showStartingIndicator 正在启动…");
  ASSERT_EQ(held.items.size(), 1u);
  runStarts();
  const std::string second = starter.handedOut(1)->url().absoluteString();
  EXPECT_EQ(decide({second + "navigation.html"}), NavigationActionPolicy::allow);
  ASSERT_THAT(host.log.loads, ::testing::SizeIs(2));
  EXPECT_EQ(host.log.loads[1].url, second);
  EXPECT_THAT(host.log.htmlLoads, IsEmpty());
}

// Cookies go to every port of their host: the backend's page loads only once
// the view presents the backend's secret and refuses the pages every other
// loopback port, and a view that cannot be confined shows no page of it.
TEST_F(AppDelegateTest, TheBackendsPageWaitsForTheViewsConfinementToItsPort) {
  host.log.holdConfinements = true;
  launch(*delegate);
  runStarts();
  const std::shared_ptr<Backend> backend = starter.handedOut(0);
  ASSERT_THAT(host.log.confinements, ::testing::SizeIs(1));
  EXPECT_EQ(host.log.confinements[0].port, backend->port());
  EXPECT_EQ(host.log.confinements[0].cookieName, "lumivant-backend-secret");
  EXPECT_EQ(host.log.confinements[0].secret, backend->secret());
  EXPECT_GE(host.log.confinements[0].secret.size(), 32u) << "at least 128 bits in hexadecimal";
  EXPECT_THAT(host.log.loads, IsEmpty());
  std::exchange(host.log.pendingConfinements, {})[0](std::nullopt);
  ASSERT_THAT(host.log.loads, ::testing::SizeIs(1));
  EXPECT_EQ(host.log.loads[0].url, backend->url().absoluteString());

  // The backend bound its port itself, which any program may take once it
  // ended: the view takes the secret back and refuses every loopback port at
  // once, and the next backend, with a secret of its own, is confined anew.
  const size_t posted = queue.postedCount();
  starter.exitWith(Backend::restartExitCode);
  ASSERT_TRUE(queue.waitForPosted(posted + 1));
  queue.runPending();
  ASSERT_THAT(host.log.confinements, ::testing::SizeIs(2));
  EXPECT_EQ(host.log.confinements[1].port, 0);
  EXPECT_EQ(host.log.confinements[1].secret, "");
  runStarts();
  ASSERT_THAT(host.log.confinements, ::testing::SizeIs(3));
  EXPECT_EQ(host.log.confinements[2].port, starter.handedOut(1)->port());
  EXPECT_EQ(host.log.confinements[2].secret, starter.handedOut(1)->secret());
  EXPECT_NE(host.log.confinements[2].secret, backend->secret());
  std::exchange(host.log.pendingConfinements, {})[1](std::string("no filter store"));
  EXPECT_THAT(host.log.loads, ::testing::SizeIs(1));
  ASSERT_THAT(host.log.htmlLoads, ::testing::SizeIs(1));
  EXPECT_THAT(host.log.htmlLoads[0],
              HasSubstr("网页视图没能只向后端出示它的密钥：no filter store"));
}

TEST_F(AppDelegateTest, ARestartReadsTheServerFileAfresh) {
  launch(*delegate);
  runStarts();
  testing::writeFile(dir / "data/server.json", R"({"url": "http://127.0.0.1:1/"})");
  const size_t posted = queue.postedCount();
  starter.exitWith(Backend::restartExitCode);
  ASSERT_TRUE(queue.waitForPosted(posted + 1));
  queue.runPending();
  held.runAll();
  ASSERT_TRUE(queue.runUntil([&] { return !host.log.htmlLoads.empty(); }));
  EXPECT_THAT(host.log.htmlLoads.back(), HasSubstr("连不上组织服务器 http://127.0.0.1:1/"));
  EXPECT_EQ(starter.starts(), 1);
}

TEST_F(AppDelegateTest, TerminationStopsTheReadyBackend) {
  launch(*delegate);
  runStarts();
  const std::shared_ptr<Backend> backend = starter.handedOut(0);
  delegate->applicationWillTerminate();
  EXPECT_TRUE(backend->hasEnded());
  EXPECT_FALSE(queue.runNext(std::chrono::milliseconds(300)));
  EXPECT_THAT(host.log.htmlLoads, IsEmpty());
}

}  // namespace
}  // namespace lumivant
