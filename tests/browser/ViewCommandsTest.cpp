// The view menu's commands: where back and forward may go, which items are
// greyed, the zoom ladder and the zoom kept per data root.

#include <gmock/gmock.h>

#include <fstream>

#include "browser/ComponentFixture.h"
#include "browser/Navigation.h"
#include "browser/PageLifecycle.h"
#include "browser/ViewCommands.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

constexpr const char* kServer = "http://127.0.0.1:8000/";

struct ViewCommandsTest : testing::ComponentTest {
  testing::TempDir state;
  std::shared_ptr<PageLifecycle> pages =
      std::make_shared<PageLifecycle>(*window, *webView, queue, pageTemplate);
  Navigation navigation{host, *webView, *window};

  std::unique_ptr<ViewCommands> open(const std::string& dataRoot = "/data/lab") {
    auto commands =
        std::make_unique<ViewCommands>(host, *window, *webView, ZoomMemory(state.str(), dataRoot));
    commands->mayGoTo = [this](const std::string& url) { return navigation.isAppAddress(url); };
    commands->canReload = [this] { return pages->canReload(); };
    commands->reload = [this] { pages->reload(); };
    return commands;
  }
  size_t count(const std::string& call) const {
    return static_cast<size_t>(std::count(host.log.calls.begin(), host.log.calls.end(), call));
  }
};

// Back and forward go only to the app's own pages: not to a message page, not
// to a page of a backend that is gone, not anywhere while none is ready.
TEST_F(ViewCommandsTest, BackAndForwardOnlyGoToTheAppsOwnPages) {
  auto commands = open();
  struct Case {
    const char* name;
    std::optional<std::string> base;
    BackForwardItems history;
    bool back;
    bool forward;
  };
  const std::vector<Case> cases = {
      {"no history", kServer, {}, false, false},
      {"app pages both ways",
       kServer,
       {{std::string(kServer) + "a.html"}, {std::string(kServer) + "b.html"}},
       true,
       true},
      {"a message page behind", kServer, {{"about:blank"}, {}}, false, false},
      {"a page of the backend before a restart",
       kServer,
       {{"http://127.0.0.1:8001/"}, {}},
       false,
       false},
      {"no backend ready", std::nullopt, {{kServer}, {kServer}}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    navigation.setBase(c.base ? Url::parse(*c.base) : std::nullopt);
    host.log.history = c.history;
    host.log.calls.clear();
    commands->refresh();
    EXPECT_EQ(host.isMenuActionEnabled(MenuAction::goBack), c.back);
    EXPECT_EQ(host.isMenuActionEnabled(MenuAction::goForward), c.forward);
    // The mouse's buttons are never greyed, so the command checks again.
    commands->perform(MenuAction::goBack);
    commands->perform(MenuAction::goForward);
    EXPECT_EQ(count("goBackOrForward -1"), c.back ? 1u : 0u);
    EXPECT_EQ(count("goBackOrForward 1"), c.forward ? 1u : 0u);
  }
}

TEST_F(ViewCommandsTest, ReloadIsGreyedUntilAPageShowsAndDuringAStartupMessage) {
  auto commands = open();
  pages->onChanged = [&] { commands->refresh(); };
  commands->refresh();
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::reload)) << "starting";
  pages->showAppPage(*Url::parse(kServer));
  pages->didCommit(kServer);
  EXPECT_TRUE(host.isMenuActionEnabled(MenuAction::reload));
  commands->perform(MenuAction::reload);
  EXPECT_EQ(count("reload"), 1u);
  pages->showMessage(BackendExitedBeforeReady{1, ""});
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::reload));
  commands->perform(MenuAction::reload);
  EXPECT_EQ(count("reload"), 1u);
}

TEST_F(ViewCommandsTest, ZoomClimbsTheLadderAndStopsAtItsEnds) {
  struct Step {
    double from;
    ZoomStep step;
    double to;
  };
  const std::vector<Step> table = {
      {1.0, ZoomStep::in, 1.1},       {1.0, ZoomStep::out, 0.9}, {1.1, ZoomStep::in, 1.25},
      {0.3, ZoomStep::out, 0.3},      {3.0, ZoomStep::in, 3.0},  {1.05, ZoomStep::in, 1.1},
      {1.05, ZoomStep::out, 1.0},     {0.1, ZoomStep::in, 0.3},  {9.0, ZoomStep::out, 3.0},
      {0.6699999, ZoomStep::in, 0.8},
  };
  for (const Step& s : table) {
    EXPECT_DOUBLE_EQ(nextZoomLevel(s.from, s.step), s.to)
        << s.from << (s.step == ZoomStep::in ? " in" : " out");
  }
  EXPECT_FALSE(canZoom(3.0, ZoomStep::in));
  EXPECT_TRUE(canZoom(3.0, ZoomStep::out));
}

TEST_F(ViewCommandsTest, ZoomIsKeptPerDataRootAndGivenAgainToANewView) {
  {
    auto commands = open("/data/lab");
    commands->applyZoom();
    commands->perform(MenuAction::zoomIn);
    commands->perform(MenuAction::zoomIn);
    commands->perform(MenuAction::zoomOut);
    auto other = open("/data/other");
    other->perform(MenuAction::zoomOut);
  }
  EXPECT_THAT(host.log.zoomLevels, ::testing::ElementsAre(1.0, 1.1, 1.25, 1.1, 0.9));
  host.log.zoomLevels.clear();
  open("/data/lab")->applyZoom();
  open("/data/other")->applyZoom();
  open("/data/new")->applyZoom();
  EXPECT_THAT(host.log.zoomLevels, ::testing::ElementsAre(1.1, 0.9, 1.0));

  auto commands = open("/data/lab");
  commands->perform(MenuAction::actualSize);
  EXPECT_EQ(ZoomMemory(state.str(), "/data/lab").recall(), 1.0);
  for (int i = 0; i < 20; ++i) commands->perform(MenuAction::zoomIn);
  EXPECT_FALSE(host.isMenuActionEnabled(MenuAction::zoomIn)) << "greyed at the top";
  EXPECT_TRUE(host.isMenuActionEnabled(MenuAction::zoomOut));
}

TEST_F(ViewCommandsTest, ADamagedOrStrangeZoomFileGivesTheActualSize) {
  for (const char* text : {"", "[1.5]", "{\"/data/lab\": \"2\"}", "{\"/data/lab\": 40}",
                           "{\"/data/lab\": -1}", "{\"/data/lab\": 1e400}"}) {
    SCOPED_TRACE(text);
    std::ofstream(state / "page-zoom.json") << text;
    EXPECT_EQ(ZoomMemory(state.str(), "/data/lab").recall(), std::nullopt);
  }
}

TEST_F(ViewCommandsTest, FindAndPrintGoToTheWindowAndTheView) {
  auto commands = open();
  commands->perform(MenuAction::findInPage);
  commands->perform(MenuAction::findNext);
  commands->perform(MenuAction::findPrevious);
  commands->perform(MenuAction::print);
  EXPECT_EQ(count("showFindBar"), 1u);
  EXPECT_EQ(count("findNext"), 1u);
  EXPECT_EQ(count("findPrevious"), 1u);
  EXPECT_EQ(count("print"), 1u);
}

}  // namespace
}  // namespace lumivant
