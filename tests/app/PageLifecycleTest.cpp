// What the window shows between the launch and the first page, when the first
// page cannot be shown, and when the page's process ends.

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/MessagePage.h"
#include "browser/CrashReloads.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::ManualMainQueue;
using testing::RecordingHost;
using testing::ScopedEnv;
using testing::TempDir;

// A delegate whose launch builds the window and stops short of a backend.
class WindowOnlyDelegate : public AppDelegate {
 public:
  using AppDelegate::AppDelegate;
  void cleanupOldShellFiles() override {}
  bool replaceMyselfIfANewerShellIsStaged() override { return false; }
  void declareMyself() override {}
  void startBackend() override {}
};

constexpr const char* kServer = "http://127.0.0.1:8000/";

struct PageLifecycleTest : ::testing::Test {
  TempDir dir;
  ScopedEnv root{"ORLATH_FRAMEWORK_HOME", dir / "data"};
  RecordingHost host;
  ManualMainQueue queue;
  std::shared_ptr<WindowOnlyDelegate> delegate =
      std::make_shared<WindowOnlyDelegate>(host, queue, Bundle{});

  void SetUp() override {
    delegate->applicationDidFinishLaunching();
    delegate->origin = Url::parse(kServer);
  }
  // Every message page shown, as its text.
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    const std::string head = messagePageHtml("");
    const size_t headLength = head.find("</pre>");
    for (const std::string& html : host.log.htmlLoads) {
      texts.push_back(html.substr(headLength, html.size() - head.size()));
    }
    return texts;
  }
  size_t count(const std::string& call) const {
    return static_cast<size_t>(std::count(host.log.calls.begin(), host.log.calls.end(), call));
  }
  void runPosted() {
    while (queue.pendingCount() > 0) queue.runNext();
  }
};

TEST_F(PageLifecycleTest, StartingIndicatorShowsFromLaunchUntilTheFirstPageCommits) {
  EXPECT_EQ(count("showStartingIndicator 正在启动…"), 1u);
  EXPECT_EQ(count("hideStartingIndicator"), 0u);
  delegate->loadFirstPage(kServer);
  EXPECT_EQ(count("hideStartingIndicator"), 0u) << "requested is not shown yet";
  delegate->didCommitNavigation(kServer);
  EXPECT_EQ(count("hideStartingIndicator"), 1u);
  delegate->didFinishNavigation();
  delegate->showMessage("later");
  delegate->didCommitNavigation(kServer);
  EXPECT_EQ(count("hideStartingIndicator"), 1u) << "once gone it stays gone";
}

TEST_F(PageLifecycleTest, MessagePageEndsTheStartingIndicator) {
  delegate->showMessage("没能启动");
  EXPECT_EQ(count("hideStartingIndicator"), 1u);
}

// A first page that never finishes loading ends in a message page that names
// the page and why; later loads fail as they always did, silently.
TEST_F(PageLifecycleTest, FirstPageThatDoesNotFinishShowsWhy) {
  struct Case {
    const char* name;
    std::function<void(AppDelegate&)> events;
    std::optional<std::string> reason;  // nothing: no message
  };
  const auto failure = [](NavigationFailure::Kind kind, const char* description) {
    return [=](AppDelegate& d) { d.didFailNavigation({kind, description}); };
  };
  const auto refused = [](const char* target) {
    return [=](AppDelegate& d) {
      d.decidePolicyForNavigationAction({target, NavigationType::other, false});
    };
  };
  const std::vector<Case> cases = {
      {"engine error", failure(NavigationFailure::Kind::error, "Could not connect"),
       "Could not connect"},
      {"time-out", failure(NavigationFailure::Kind::timedOut, "Load request cancelled"),
       "60 秒内没有回应"},
      {"replaced by another load", failure(NavigationFailure::Kind::cancelled, "cancelled"),
       std::nullopt},
      {"redirect elsewhere", refused("http://127.0.0.1:9/login"),
       "它转到了别处：http://127.0.0.1:9/login"},
      {"local redirect",
       [](AppDelegate& d) {
         d.decidePolicyForNavigationAction({"http://127.0.0.1:8000/home", {}, false});
       },
       std::nullopt},
      {"failure after commit",
       [&](AppDelegate& d) {
         d.didCommitNavigation(kServer);
         failure(NavigationFailure::Kind::error, "reset")(d);
       },
       "reset"},
      {"refusal after commit is a page's own doing",
       [&](AppDelegate& d) {
         d.didCommitNavigation(kServer);
         refused("https://example.org/")(d);
       },
       std::nullopt},
      {"failure of a later load",
       [&](AppDelegate& d) {
         d.didCommitNavigation(kServer);
         d.didFinishNavigation();
         failure(NavigationFailure::Kind::error, "gone")(d);
         refused("https://example.org/")(d);
       },
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.log.htmlLoads.clear();
    delegate->loadFirstPage(kServer);
    c.events(*delegate);
    runPosted();
    if (c.reason) {
      EXPECT_THAT(messages(),
                  ElementsAre(std::string("首页没能打开 ") + kServer + "\n\n" + *c.reason));
      // The watch ended with its message: a further failure says nothing more.
      delegate->didFailNavigation({NavigationFailure::Kind::error, "again"});
      runPosted();
      EXPECT_EQ(messages().size(), 1u);
    } else {
      EXPECT_THAT(messages(), ElementsAre());
    }
    delegate->didFinishNavigation();
  }
}

TEST_F(PageLifecycleTest, CrashReloadBudgetAllowsThreeWithinAnySixtySeconds) {
  CrashReloadBudget budget;
  const auto t0 = CrashReloadBudget::Clock::time_point{} + 1000s;
  const std::vector<std::pair<std::chrono::seconds, bool>> table = {
      {0s, true},   {10s, true},  {20s, true},  {59s, false},  // a fourth within 60 s
      {60s, true},                                             // the one at 0 s has aged out
      {65s, false}, {70s, true},                               // 10 s aged out at 70 s
      {200s, true}, {200s, true}, {200s, true}, {200s, false},
  };
  for (const auto& [at, allowed] : table) {
    EXPECT_EQ(budget.allowReload(t0 + at), allowed) << "at " << at.count() << " s";
  }
}

TEST_F(PageLifecycleTest, EndedWebProcessReloadsThreeTimesThenSaysSo) {
  delegate->loadFirstPage(kServer);
  delegate->didCommitNavigation(kServer);
  delegate->didFinishNavigation();
  for (int i = 0; i < 3; ++i) delegate->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 3u);
  EXPECT_THAT(messages(), ElementsAre());
  delegate->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 3u);
  EXPECT_THAT(messages(), ElementsAre(std::string(kRepeatedCrashMessage)));
}

TEST_F(PageLifecycleTest, EndedWebProcessUnderAMessagePageShowsTheMessageAgain) {
  delegate->showMessage("后端退出了（code 1）。");
  delegate->didCommitNavigation("about:blank");
  delegate->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 0u);
  EXPECT_THAT(messages(), ElementsAre("后端退出了（code 1）。", "后端退出了（code 1）。"));
  // Once a page of the backend shows again, that page is what comes back.
  delegate->didCommitNavigation(kServer);
  delegate->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 1u);
}

}  // namespace
}  // namespace lumivant
