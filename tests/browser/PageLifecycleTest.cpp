// What the window shows between the launch and the first page, when the first
// page cannot be shown, and when the page's process ends.

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser/PageLifecycle.h"

#include "browser/ComponentFixture.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;

constexpr const char* kServer = "http://127.0.0.1:8000/";
const ChildExit kKilled{ChildExit::Reason::uncaughtSignal, 9};

struct PageLifecycleTest : testing::ComponentTest {
  const Url server = *Url::parse(kServer);
  std::shared_ptr<PageLifecycle> pages = newPages();

  std::shared_ptr<PageLifecycle> newPages() {
    return std::make_shared<PageLifecycle>(*window, *webView, queue, pageTemplate);
  }

  // As the launch leaves it: the starting indicator shows.
  void SetUp() override { pages->showStartingIndicator(); }
  // Every message page shown, as its text.
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const std::string& html : host.log.htmlLoads) {
      const size_t begin = html.find("<pre>") + 5;
      texts.push_back(html.substr(begin, html.rfind("</pre>") - begin));
    }
    return texts;
  }
  // The first page of the app, shown and finished.
  void showFirstPage() {
    pages->showAppPage(server);
    pages->didCommit(kServer);
    pages->didFinish();
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
  pages->showAppPage(server);
  EXPECT_EQ(count("hideStartingIndicator"), 0u) << "requested is not shown yet";
  pages->didCommit(kServer);
  EXPECT_EQ(count("hideStartingIndicator"), 1u);
  pages->didFinish();
  pages->showMessage(NoFreePort{});
  pages->didCommit(kServer);
  EXPECT_EQ(count("hideStartingIndicator"), 1u) << "once gone it stays gone";
}

TEST_F(PageLifecycleTest, AMessagePageIsADocumentWithoutABaseThatReplacesTheLastOne) {
  pages->showMessage(BackendLaunchFailed{"first"});
  pages->showMessage(BackendLaunchFailed{"second <"});
  ASSERT_EQ(host.log.htmlLoads.size(), 2u);
  EXPECT_EQ(host.log.htmlLoads[1], pageTemplate.html("起不来：second <"));
  EXPECT_TRUE(host.log.loads.empty());
}

TEST_F(PageLifecycleTest, MessagePageEndsTheStartingIndicator) {
  pages->showMessage(NoFreePort{});
  EXPECT_EQ(count("hideStartingIndicator"), 1u);
}

// A first page that never finishes loading ends in a message page that names
// the page and why; later loads fail as they always did, silently.
TEST_F(PageLifecycleTest, FirstPageThatDoesNotFinishShowsWhy) {
  struct Case {
    const char* name;
    std::function<void(PageLifecycle&)> events;
    std::optional<std::string> reason;  // nothing: no message
  };
  const auto failure = [](NavigationFailure::Kind kind, const char* description) {
    return [=](PageLifecycle& p) { p.didFail({kind, description, kServer}); };
  };
  const auto refused = [](const char* target) {
    return [=](PageLifecycle& p) { p.navigationRefused(target); };
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
      {"failure after commit",
       [&](PageLifecycle& d) {
         d.didCommit(kServer);
         failure(NavigationFailure::Kind::error, "reset")(d);
       },
       "reset"},
      {"refusal after commit is a page's own doing",
       [&](PageLifecycle& d) {
         d.didCommit(kServer);
         refused("https://example.org/")(d);
       },
       std::nullopt},
      {"a first page that becomes a download is no page",
       failure(NavigationFailure::Kind::becameDownload, "Frame load interrupted"),
       "Frame load interrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A fresh lifecycle: the first page of each case is the app's first.
    pages = newPages();
    host.log.htmlLoads.clear();
    pages->showAppPage(server);
    c.events(*pages);
    runPosted();
    if (c.reason) {
      ASSERT_EQ(host.log.htmlLoads.size(), 1u);
      EXPECT_EQ(host.log.htmlLoads[0],
                pageTemplate.html(std::string("首页没能打开 ") + kServer + "\n\n" + *c.reason))
          << "the start-up page, heading and all";
      // The watch ended with its message: a further failure says nothing more.
      pages->didFail({NavigationFailure::Kind::error, "again", kServer});
      runPosted();
      EXPECT_EQ(messages().size(), 1u);
    } else {
      EXPECT_THAT(messages(), ElementsAre());
    }
    pages->didFinish();
  }
}

// Once the app has shown its first page, a load of its own address that fails
// says so, with the reason, and reloading tries that address again.
TEST_F(PageLifecycleTest, LaterFailureOfAnAppPageShowsWhyAndReloadRetriesIt) {
  const std::string page = std::string(kServer) + "dialogs.html";
  pages->isAppAddress = [](const std::string& url) { return url.starts_with(kServer); };
  int changes = 0;
  pages->onChanged = [&] { ++changes; };
  showFirstPage();
  EXPECT_TRUE(pages->canReload());
  const auto fail = [&](NavigationFailure::Kind kind, const char* description,
                        const std::string& url) {
    host.log.htmlLoads.clear();
    pages->didFail({kind, description, url});
    runPosted();
  };
  struct Case {
    const char* name;
    NavigationFailure::Kind kind;
    std::string url;
    std::optional<std::string> reason;  // nothing: no message page
  };
  const std::vector<Case> cases = {
      {"refused connection", NavigationFailure::Kind::error, page,
       "Could not connect: Connection refused"},
      {"no answer", NavigationFailure::Kind::timedOut, page, "60 秒内没有回应"},
      {"replaced by another load", NavigationFailure::Kind::cancelled, page, std::nullopt},
      {"became a download", NavigationFailure::Kind::becameDownload, page, std::nullopt},
      {"another site's page", NavigationFailure::Kind::error, "https://example.org/", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fail(c.kind, c.reason ? c.reason->c_str() : "x", c.url);
    if (!c.reason) {
      EXPECT_TRUE(host.log.htmlLoads.empty());
      continue;
    }
    ASSERT_EQ(host.log.htmlLoads.size(), 1u);
    EXPECT_EQ(host.log.htmlLoads[0],
              pageTemplate.html(
                  "页面没能打开 " + page + "\n\n" + *c.reason + "\n\n按 F5 再试一次。", "出错了"));
    pages->didCommit("about:blank");
    ASSERT_TRUE(pages->canReload()) << "reload retries the page";
    host.log.loads.clear();
    pages->reload();
    ASSERT_EQ(host.log.loads.size(), 1u);
    EXPECT_EQ(host.log.loads[0].url, page);
    EXPECT_EQ(host.log.loads[0].timeoutSeconds, 60.0);
    pages->didCommit(page);
    pages->didFinish();
  }
  EXPECT_GT(changes, 0) << "the menu hears of every change";

  // Reloading a page of the app reloads it; a start-up message has nothing to reload.
  host.log.calls.clear();
  pages->reload();
  EXPECT_EQ(count("reload"), 1u);
  pages->showMessage(BackendExitedBeforeReady{1, ""});
  EXPECT_FALSE(pages->canReload());
}

TEST_F(PageLifecycleTest, MessagePagesAfterTheFirstPageSayItWentWrongNotThatItDidNotStart) {
  EXPECT_FALSE(pages->canReload()) << "nothing shows yet";
  pages->showMessage(BackendLaunchFailed{"a"});
  pages->showAppPage(server);
  pages->didCommit(kServer);
  pages->showMessage(BackendLaunchFailed{"b"});  // committed but never finished: still starting
  showFirstPage();
  pages->showMessage(BackendLaunchFailed{"c"});
  for (int i = 0; i < 4; ++i) pages->webContentProcessDidTerminate();
  ASSERT_EQ(host.log.htmlLoads.size(), 7u);  // "c" comes back three times before the last
  EXPECT_EQ(host.log.htmlLoads[0], pageTemplate.html("起不来：a"));
  EXPECT_EQ(host.log.htmlLoads[1], pageTemplate.html("起不来：b"));
  EXPECT_EQ(host.log.htmlLoads[2], pageTemplate.html("起不来：c", "出错了"));
  EXPECT_EQ(host.log.htmlLoads.back(), pageTemplate.html(messageText(RepeatedCrashes{}), "出错了"));
}

// Reloading the page of a backend that ended starts it again, once: while the
// window says it is starting there is nothing to reload. Which other message
// pages reload, and which leave it to the user to start the shell again.
TEST_F(PageLifecycleTest, ThePageOfAnEndedBackendRestartsItAndOnlyItsKindReload) {
  int restarts = 0;
  pages->restartBackend = [&] {
    ++restarts;
    pages->showStartingIndicator();
  };
  showFirstPage();
  pages->showMessage(BackendEnded{kKilled, "log"});
  pages->didCommit("about:blank");
  ASSERT_TRUE(pages->canReload());
  pages->reload();
  EXPECT_EQ(restarts, 1);
  EXPECT_FALSE(pages->canReload()) << "the backend is on its way";
  pages->reload();
  EXPECT_EQ(restarts, 1);
  pages->showAppPage(server);
  pages->didCommit(kServer);
  EXPECT_TRUE(pages->canReload()) << "the new backend's page reloads as any page does";

  struct Row {
    const char* name;
    MessagePage page;
    bool reloads;
  };
  const std::vector<Row> rows = {
      {"backend ended", BackendEnded{kKilled, ""}, true},
      {"restarts exhausted", RestartsExhausted{""}, true},
      {"later page failed", LaterPageFailed{kServer, {LoadProblem::Kind::error, "x"}}, true},
      {"backend ended before ready", BackendExitedBeforeReady{1, ""}, false},
      {"server unreachable", ServerUnreachable{server, {}, "/d"}, false},
      {"first page failed", FirstPageFailed{kServer, {LoadProblem::Kind::noAnswer, {}}}, false},
      {"repeated crashes", RepeatedCrashes{}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    pages->showMessage(row.page);
    EXPECT_EQ(pages->canReload(), row.reloads);
  }
  pages->restartBackend = nullptr;
  pages->showMessage(BackendEnded{kKilled, ""});
  EXPECT_FALSE(pages->canReload()) << "with nobody to restart it";
}

TEST_F(PageLifecycleTest, EndedWebProcessReloadsThreeTimesThenSaysSo) {
  showFirstPage();
  for (int i = 0; i < 3; ++i) pages->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 3u);
  EXPECT_THAT(messages(), ElementsAre());
  pages->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 3u);
  EXPECT_THAT(messages(), ElementsAre(messageText(RepeatedCrashes{})));
}

TEST_F(PageLifecycleTest, EndedWebProcessUnderAMessagePageShowsTheMessageAgain) {
  pages->showMessage(NoFreePort{});
  pages->didCommit("about:blank");
  pages->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 0u);
  EXPECT_THAT(messages(), ElementsAre("找不到可用的本机端口。", "找不到可用的本机端口。"));
  // Once a page of the backend shows again, that page is what comes back.
  pages->didCommit(kServer);
  pages->webContentProcessDidTerminate();
  EXPECT_EQ(count("reload"), 1u);
}

}  // namespace
}  // namespace lumivant
