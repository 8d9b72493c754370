// What the web view reports to its delegate about navigations, and how it
// carries out the delegate's answers.

#include "TestServer.h"
#include "WebViewFixture.h"
#include "support/UrlForms.h"

namespace lumivant::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class NavigationTest : public WebViewFixture {
 protected:
  void SetUp() override {
    WebViewFixture::SetUp();
    local.route("/next", {"text/html", "<title>Next</title><p>next page</p>", {}});
  }

  // The last recorded navigation action for url, if any.
  const NavigationAction* actionFor(const std::string& url) const {
    for (auto it = delegate.actions.rbegin(); it != delegate.actions.rend(); ++it) {
      if (it->url == url) return &*it;
    }
    return nullptr;
  }

  bool actionArrivesFor(const std::string& url) {
    return spinUntil([&] { return actionFor(url) != nullptr; });
  }

  TestServer local;
  TestServer outside;  // a second origin that must never be reached
};

// The view's web process starts as soon as the view is made, on a blank page
// that neither its delegate nor its history ever hear of.
class WarmUpTest : public WebViewFixture {
 protected:
  std::vector<std::string> actionUrls() const {
    std::vector<std::string> urls;
    for (const auto& action : delegate.actions) urls.push_back(action.url.value_or(""));
    return urls;
  }

  TestServer local;
};

TEST_F(WarmUpTest, TheWebProcessStartsWithNoPageAskedForAndNothingIsReported) {
  ASSERT_TRUE(spinUntil([&] { return view->isWebProcessWarm(); }));
  spinFor(0.3);
  EXPECT_THAT(delegate.actions, IsEmpty());
  EXPECT_THAT(delegate.commits, IsEmpty());
  EXPECT_EQ(delegate.finishedNavigations, 0);
}

TEST_F(WarmUpTest, APageAskedForMeanwhileIsTheFirstAndOnlyOneReportedAndTheFirstInHistory) {
  local.route("/first", {"text/html", "<title>First</title>", {}});
  view->load(Request{local.url("/first")});
  ASSERT_TRUE(spinUntil([&] { return delegate.finishedNavigations == 1; }));
  EXPECT_THAT(actionUrls(), ElementsAre(local.url("/first")));
  EXPECT_THAT(delegate.commits, ElementsAre(local.url("/first")));
  EXPECT_THAT(delegate.failures, IsEmpty());
  // Going back from the first page goes nowhere.
  EXPECT_EQ(evaluate("history.length"), "1");
  EXPECT_FALSE(view->isWebProcessWarm()) << "the blank page is let go";
}

TEST_F(NavigationTest, HtmlStringLoadsAsAboutBlankAndReportsItsFinishedLoad) {
  view->loadHTMLString("<html><head><title>Message</title></head><body>hi</body></html>");
  ASSERT_TRUE(spinUntil([&] { return delegate.finishedNavigations == 1; }));
  EXPECT_EQ(evaluate("location.href"), "about:blank");
  EXPECT_EQ(evaluate("document.title"), "Message");
  ASSERT_NE(actionFor("about:blank"), nullptr);
  EXPECT_EQ(actionFor("about:blank")->navigationType, NavigationType::other);
}

// Scripts are evaluated in the page's web process by the bundle's module, or
// in this process when the web process has none.
class ScriptTest : public NavigationTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (inWebProcess()) webProcessModules = LUMIVANT_WEB_PROCESS_MODULES;
    NavigationTest::SetUp();
  }
  static bool inWebProcess() { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(EitherProcess, ScriptTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InWebProcess" : "InShell"; });

TEST_P(ScriptTest, ResultsComeBackAsText) {
  loadHtml("<title>  Home\n page </title>", local.url("/"));
  EXPECT_EQ(evaluate("document.title"), "Home page");
  EXPECT_EQ(evaluate("document.title = ''"), "");
  EXPECT_EQ(evaluate("'中文 text'"), "中文 text");
  EXPECT_EQ(evaluate("1 + 2"), "3");
  EXPECT_EQ(evaluate("true"), "true");
  EXPECT_EQ(evaluate("undefined"), std::nullopt);
  EXPECT_EQ(evaluate("null"), std::nullopt);
  EXPECT_EQ(evaluate("throw new Error('no')"), std::nullopt);
  EXPECT_EQ(evaluate("this is not javascript"), std::nullopt);
  // Only the page's own process can ask an object for its text; this process
  // receives a copy of its data, and a function cannot be copied.
  const auto object = evaluate("({toString() { return 'from the page'; }})");
  if (inWebProcess()) {
    EXPECT_EQ(object, "from the page");
  } else {
    EXPECT_NE(object, "from the page");
  }
  // A text the page cannot make into one.
  EXPECT_EQ(evaluate("({toString() { throw new Error('no'); }})"),
            inWebProcess() ? std::nullopt : object);
}

TEST_F(NavigationTest, ClickedLinkReportsItsUrlAndTypeAndACancelKeepsThePage) {
  const std::string target = outside.url("/elsewhere?q=1#part");
  loadHtml("<a id=out href='" + target + "'>out</a>", local.url("/start"));
  delegate.actionPolicy = NavigationActionPolicy::cancel;
  evaluate("document.getElementById('out').click()");
  ASSERT_TRUE(actionArrivesFor(target));
  EXPECT_EQ(actionFor(target)->navigationType, NavigationType::linkActivated);
  EXPECT_FALSE(actionFor(target)->shouldPerformDownload);
  // Script that the host runs counts as the user's: the engine gives it the
  // gesture of whoever asked the host to run it.
  EXPECT_TRUE(actionFor(target)->isUserGesture);
  spinFor(0.5);
  EXPECT_EQ(evaluate("location.href"), local.url("/start"));
  EXPECT_THAT(outside.requests(), IsEmpty());
}

TEST_F(NavigationTest, ALinkThatThePagesOwnScriptClicksIsNoUserGesture) {
  const std::string target = outside.url("/by-script");
  loadHtml("<a id=out href='" + target +
               "'>out</a><script>setTimeout(function () { "
               "document.getElementById('out').click() }, 0)</script>",
           local.url("/start"));
  ASSERT_TRUE(actionArrivesFor(target));
  EXPECT_EQ(actionFor(target)->navigationType, NavigationType::linkActivated);
  EXPECT_FALSE(actionFor(target)->isUserGesture);
}

TEST_F(NavigationTest, ScriptAndFormNavigationsReportTheirTypes) {
  loadHtml(
      "<form id=f method=post action='" + outside.url("/form") + "'><input name=a value=1></form>",
      local.url("/"));
  delegate.actionPolicy = NavigationActionPolicy::cancel;
  evaluate("location.assign('" + outside.url("/script") + "')");
  ASSERT_TRUE(actionArrivesFor(outside.url("/script")));
  EXPECT_EQ(actionFor(outside.url("/script"))->navigationType, NavigationType::other);

  evaluate("document.getElementById('f').submit()");
  ASSERT_TRUE(actionArrivesFor(outside.url("/form")));
  EXPECT_EQ(actionFor(outside.url("/form"))->navigationType, NavigationType::formSubmitted);
  spinFor(0.5);
  EXPECT_THAT(outside.requests(), IsEmpty());
}

TEST_F(NavigationTest, AllowedNavigationLoadsAndAsksAboutItsResponse) {
  loadHtml("<a id=next href='/next'>next</a>", local.url("/"));
  const int before = delegate.finishedNavigations;
  evaluate("document.getElementById('next').click()");
  ASSERT_TRUE(spinUntil([&] { return delegate.finishedNavigations > before; }));
  EXPECT_EQ(evaluate("document.title"), "Next");
  ASSERT_FALSE(delegate.responses.empty());
  EXPECT_TRUE(delegate.responses.back().canShowMIMEType);
}

TEST_F(NavigationTest, CancelledSubframeNeverReachesItsServer) {
  loadHtml("<p>top</p>", local.url("/"));
  delegate.actionPolicy = NavigationActionPolicy::cancel;
  const int before = delegate.finishedNavigations;
  evaluate("var i = document.createElement('iframe'); i.src = '" + outside.url("/frame") +
           "'; document.body.appendChild(i)");
  ASSERT_TRUE(actionArrivesFor(outside.url("/frame")));
  spinFor(0.5);
  EXPECT_THAT(outside.requests(), IsEmpty());
  EXPECT_EQ(delegate.finishedNavigations, before) << "a subframe is not a finished navigation";
}

TEST_F(NavigationTest, NewWindowRequestsReachTheDelegateOnceAndOpenNoWindow) {
  delegate.actionPolicy = NavigationActionPolicy::allow;
  loadHtml("<a id=blank target=_blank href='" + outside.url("/blank") + "'>blank</a>",
           local.url("/"));
  evaluate("document.getElementById('blank').click()");
  ASSERT_TRUE(spinUntil([&] { return delegate.newWindows.size() == 1; }));
  EXPECT_EQ(delegate.newWindows[0].url, outside.url("/blank"));
  EXPECT_EQ(delegate.newWindows[0].navigationType, NavigationType::linkActivated);

  evaluate("window.open('" + outside.url("/popup") + "')");
  ASSERT_TRUE(spinUntil([&] { return delegate.newWindows.size() == 2; }));
  EXPECT_EQ(delegate.newWindows[1].url, outside.url("/popup"));
  EXPECT_EQ(delegate.newWindows[1].navigationType, NavigationType::other);

  spinFor(0.5);
  EXPECT_EQ(delegate.newWindows.size(), 2u) << "each request is forwarded exactly once";
  EXPECT_THAT(outside.requests(), IsEmpty());
  EXPECT_EQ(evaluate("location.href"), local.url("/"));
}

// The table the shell's URL type is held to is the engine's own behaviour.
TEST_F(NavigationTest, EngineReportsWrittenAddressesInTheFormsOfTheTable) {
  delegate.actionPolicy = NavigationActionPolicy::cancel;
  for (const auto& form : kWrittenUrls) {
    const std::string written(form.written);
    const size_t before = delegate.actions.size();
    webkit_web_view_load_uri(view->view(), written.c_str());
    ASSERT_TRUE(spinUntil([&] { return delegate.actions.size() > before; })) << written;
    EXPECT_EQ(delegate.actions.back().url, std::string(form.engineForm)) << written;
  }
}

TEST_F(NavigationTest, FailedLoadIsNotAFinishedNavigation) {
  loadHtml("<p>start</p>", local.url("/"));
  const int before = delegate.finishedNavigations;
  bool ended = false;  // the engine ends a failed load with a finished event too
  const gulong handler = g_signal_connect_swapped(
      view->view(), "load-changed", G_CALLBACK(+[](bool* flag, WebKitLoadEvent event) {
        if (event == WEBKIT_LOAD_FINISHED) *flag = true;
      }),
      &ended);
  // A port that was just free; nothing listens there any more.
  const std::string refused = std::make_unique<TestServer>()->url("/refused");
  view->load(Request{refused});
  ASSERT_TRUE(spinUntil([&] { return ended; }));
  spinFor(0.5);
  g_signal_handler_disconnect(view->view(), handler);
  EXPECT_EQ(delegate.finishedNavigations, before);
}

}  // namespace
}  // namespace lumivant::testing
