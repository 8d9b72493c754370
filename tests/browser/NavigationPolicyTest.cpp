#include "browser/NavigationPolicy.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

constexpr int kPort = 8765;
const std::string kBackend = "http://127.0.0.1:" + std::to_string(kPort) + "/";

std::optional<Url> base(const std::string& text) { return Url::parse(text); }

bool local(const std::string& url, const std::optional<Url>& base) {
  return isLocal(*Url::parseReported(url), base);
}

TEST(LocalityTest, AboutIsLocalWithAndWithoutABase) {
  EXPECT_TRUE(local("about:blank", std::nullopt));
  EXPECT_TRUE(local("about:blank", base(kBackend)));
  EXPECT_TRUE(local("about:srcdoc", base("https://lab.example/app/")));
}

TEST(LocalityTest, WithoutABaseNothingElseIsLocal) {
  EXPECT_FALSE(local(kBackend, std::nullopt));
  EXPECT_FALSE(local("blob:" + kBackend + "0b5f", std::nullopt));
}

struct LocalityCase {
  std::string url;
  bool local;
};

class BackendLocalityTest : public ::testing::TestWithParam<LocalityCase> {};

TEST_P(BackendLocalityTest, ComparesSchemeHostAndPortOnly) {
  EXPECT_EQ(local(GetParam().url, base(kBackend)), GetParam().local) << GetParam().url;
}

const std::string p = std::to_string(kPort);
const std::string next = std::to_string(kPort + 1);

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendLocalityTest,
    ::testing::Values(LocalityCase{"http://127.0.0.1:" + p + "/", true},
                      LocalityCase{"http://127.0.0.1:" + p, true},
                      LocalityCase{"http://127.0.0.1:" + p + "/a/b?c=d#e", true},
                      LocalityCase{"http://someone@127.0.0.1:" + p + "/x", true},
                      LocalityCase{"http://localhost:" + p + "/", false},
                      LocalityCase{"https://127.0.0.1:" + p + "/", false},
                      LocalityCase{"http://127.0.0.1:" + next + "/", false},
                      LocalityCase{"http://127.0.0.1/", false},
                      LocalityCase{"ws://127.0.0.1:" + p + "/", false},
                      LocalityCase{"blob:http://127.0.0.1:" + p + "/0b5f-11", true},
                      LocalityCase{"blob:http://127.0.0.1:" + next + "/0b5f-11", false},
                      LocalityCase{"blob:https://127.0.0.1:" + p + "/0b5f-11", false},
                      LocalityCase{"data:text/html,<p>hi</p>", false},
                      LocalityCase{"file:///tmp/report.pdf", false},
                      LocalityCase{"mailto:lab@example.org", false}));

TEST(LocalityTest, AnOrganisationServersPathTakesPartInTheBlobPrefixOnly) {
  const auto server = base("http://lab.example:8080/app/");
  EXPECT_TRUE(local("http://lab.example:8080/other/page", server));
  EXPECT_TRUE(local("blob:http://lab.example:8080/app/0b5f", server));
  EXPECT_FALSE(local("blob:http://lab.example:8080/0b5f", server));
  EXPECT_FALSE(local("http://lab.example/app/", server));
}

TEST(LocalityTest, AServerWrittenWithItsDefaultPortOrUpperCaseHostMatchesTheEnginesUrls) {
  const auto server = base("https://Lab.Example:443/app");
  EXPECT_TRUE(local("https://lab.example/app/page", server));
  EXPECT_FALSE(local("https://lab.example:8443/app/page", server));
}

// The navigation-action table, row by row.

enum class Activation { byUser, byScript };

NavigationAction action(std::optional<std::string> url, NavigationType type, bool download = false,
                        Activation activation = Activation::byUser) {
  return NavigationAction{std::move(url), type, download, activation == Activation::byUser};
}

void expectDecision(const NavigationAction& action, NavigationActionPolicy policy,
                    bool openExternally) {
  SCOPED_TRACE(action.url.value_or("(absent)") + " type " +
               std::to_string(static_cast<int>(action.navigationType)) +
               (action.shouldPerformDownload ? " download" : ""));
  const auto decision = decideNavigationAction(action, base(kBackend));
  EXPECT_EQ(decision.policy, policy);
  EXPECT_EQ(decision.openExternally, openExternally);
}

const NavigationType kAllTypes[] = {NavigationType::linkActivated,   NavigationType::formSubmitted,
                                    NavigationType::backForward,     NavigationType::reload,
                                    NavigationType::formResubmitted, NavigationType::other};

TEST(NavigationActionTest, AnAbsentUrlIsCancelled) {
  for (const auto type : kAllTypes) {
    for (const bool download : {false, true}) {
      expectDecision(action(std::nullopt, type, download), NavigationActionPolicy::cancel, false);
    }
  }
}

TEST(NavigationActionTest, ALocalNavigationOfAnyTypeIsAllowedOrDownloaded) {
  for (const auto type : kAllTypes) {
    expectDecision(action(kBackend + "page", type), NavigationActionPolicy::allow, false);
    expectDecision(action(kBackend + "export.zip", type, true), NavigationActionPolicy::download,
                   false);
    expectDecision(action("about:blank", type), NavigationActionPolicy::allow, false);
  }
}

TEST(NavigationActionTest, AClickedOutsideLinkWithAListedSchemeIsHandedToTheSystem) {
  for (const std::string& url : std::vector<std::string>{
           "https://example.org/paper", "http://example.org/", "mailto:lab@example.org",
           "http://localhost:" + p + "/", "http://127.0.0.1:" + next + "/"}) {
    for (const bool download : {false, true}) {
      expectDecision(action(url, NavigationType::linkActivated, download),
                     NavigationActionPolicy::cancel, true);
    }
  }
}

TEST(NavigationActionTest, AnOutsideLinkActivatedByScriptAloneIsOnlyCancelled) {
  for (const std::string url : {"https://example.org/paper", "mailto:lab@example.org"}) {
    for (const bool download : {false, true}) {
      expectDecision(action(url, NavigationType::linkActivated, download, Activation::byScript),
                     NavigationActionPolicy::cancel, false);
    }
  }
  // Local links go ahead whoever activated them.
  expectDecision(
      action(kBackend + "page", NavigationType::linkActivated, false, Activation::byScript),
      NavigationActionPolicy::allow, false);
}

TEST(NavigationActionTest, AClickedOutsideLinkWithAnotherSchemeIsOnlyCancelled) {
  for (const std::string url :
       {"tel:+861012345678", "ftp://example.org/", "data:text/html,hi", "file:///etc/passwd",
        "javascript:void(0)", "HTTPS://example.org/"}) {
    expectDecision(action(url, NavigationType::linkActivated), NavigationActionPolicy::cancel,
                   false);
  }
}

TEST(NavigationActionTest, AnOutsideNavigationOfAnyOtherTypeIsOnlyCancelled) {
  for (const auto type : kAllTypes) {
    if (type == NavigationType::linkActivated) continue;
    for (const bool download : {false, true}) {
      expectDecision(action("https://example.org/", type, download), NavigationActionPolicy::cancel,
                     false);
    }
  }
}

TEST(NavigationActionTest, AnUnreadableUrlIsCancelledAndNeverHandedOver) {
  expectDecision(action("not a url", NavigationType::linkActivated), NavigationActionPolicy::cancel,
                 false);
  expectDecision(action("", NavigationType::linkActivated), NavigationActionPolicy::cancel, false);
}

TEST(NavigationResponseTest, WhatCannotBeShownIsDownloaded) {
  EXPECT_EQ(decideNavigationResponse({true, std::nullopt}), NavigationResponsePolicy::allow);
  EXPECT_EQ(decideNavigationResponse({false, std::nullopt}), NavigationResponsePolicy::download);
}

TEST(NavigationResponseTest, AnAttachmentIsDownloadedWhateverItsType) {
  struct Case {
    std::optional<std::string> disposition;
    NavigationResponsePolicy showable{};  // the policy for a type the view can show
  };
  const Case cases[] = {
      {std::nullopt, NavigationResponsePolicy::allow},
      {"attachment", NavigationResponsePolicy::download},
      {"attachment; filename=\"report.csv\"", NavigationResponsePolicy::download},
      {"  Attachment ;filename*=UTF-8''%E6%8A%A5.csv", NavigationResponsePolicy::download},
      {"ATTACHMENT", NavigationResponsePolicy::download},
      {"inline", NavigationResponsePolicy::allow},
      {"inline; filename=\"attachment.csv\"", NavigationResponsePolicy::allow},
      {"attachments", NavigationResponsePolicy::allow},
      {"", NavigationResponsePolicy::allow},
      {"form-data; name=\"attachment\"", NavigationResponsePolicy::allow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disposition.value_or("(none)"));
    EXPECT_EQ(decideNavigationResponse({true, c.disposition}), c.showable);
    EXPECT_EQ(decideNavigationResponse({false, c.disposition}), NavigationResponsePolicy::download);
  }
}

// The new-window table, row by row.

TEST(NewWindowTest, FollowsTheTable) {
  const auto decide = [](std::optional<std::string> url, NavigationType type) {
    return decideNewWindow(action(std::move(url), type), base(kBackend));
  };
  EXPECT_EQ(decide(std::nullopt, NavigationType::linkActivated), NewWindowEffect::none);
  // Script's windows (type other) have a test of their own below.
  for (const auto type : kAllTypes) {
    if (type == NavigationType::linkActivated || type == NavigationType::other) continue;
    EXPECT_EQ(decide(kBackend + "page", type), NewWindowEffect::none);
    EXPECT_EQ(decide("https://example.org/", type), NewWindowEffect::none);
  }
  EXPECT_EQ(decide(kBackend + "page", NavigationType::linkActivated),
            NewWindowEffect::loadInWebView);
  EXPECT_EQ(decide("about:blank", NavigationType::linkActivated), NewWindowEffect::loadInWebView);
  EXPECT_EQ(decide("https://example.org/", NavigationType::linkActivated),
            NewWindowEffect::openExternally);
  EXPECT_EQ(decide("mailto:lab@example.org", NavigationType::linkActivated),
            NewWindowEffect::openExternally);
  EXPECT_EQ(decide("tel:+861012345678", NavigationType::linkActivated), NewWindowEffect::none);
  EXPECT_EQ(decide("data:text/html,hi", NavigationType::linkActivated), NewWindowEffect::none);
  EXPECT_EQ(decide("file:///tmp/a", NavigationType::linkActivated), NewWindowEffect::none);

  // A link that script activated on its own hands nothing over; a local one
  // still loads here.
  const auto byScript = [](const std::string& url) {
    return decideNewWindow(action(url, NavigationType::linkActivated, false, Activation::byScript),
                           base(kBackend));
  };
  EXPECT_EQ(byScript("https://example.org/"), NewWindowEffect::none);
  EXPECT_EQ(byScript("mailto:lab@example.org"), NewWindowEffect::none);
  EXPECT_EQ(byScript(kBackend + "page"), NewWindowEffect::loadInWebView);
}

TEST(NewWindowTest, AWindowThatScriptOpensOnTheUsersClickGetsAStandIn) {
  const auto byScript = [](std::optional<std::string> url, Activation activation) {
    return decideNewWindow(action(std::move(url), NavigationType::other, false, activation),
                           base(kBackend));
  };
  for (const auto& url : std::vector<std::optional<std::string>>{
           std::nullopt, "about:blank", kBackend + "page", "https://example.org/"}) {
    EXPECT_EQ(byScript(url, Activation::byUser), NewWindowEffect::standIn);
    EXPECT_EQ(byScript(url, Activation::byScript), NewWindowEffect::none);
  }
  // A form meant for a new window is no script's window.
  EXPECT_EQ(
      decideNewWindow(action(kBackend + "form", NavigationType::formSubmitted), base(kBackend)),
      NewWindowEffect::none);
}

TEST(NewWindowTest, AStandInsNavigationIsDecidedAsAClickInTheOneView) {
  // However the stand-in's own navigation reports itself: script may give
  // it its address long after the click.
  for (const auto activation : {Activation::byUser, Activation::byScript}) {
    const auto decide = [activation](const std::string& url) {
      return decideOpenedWindowNavigation(action(url, NavigationType::other, false, activation),
                                          base(kBackend));
    };
    EXPECT_EQ(decide(kBackend + "nbconvert/notebook.ipynb?download=true"),
              NewWindowEffect::loadInWebView);
    EXPECT_EQ(decide("https://example.org/help"), NewWindowEffect::openExternally);
    EXPECT_EQ(decide("mailto:lab@example.org"), NewWindowEffect::openExternally);
    EXPECT_EQ(decide("tel:+861012345678"), NewWindowEffect::none);
    EXPECT_EQ(decide("file:///etc/passwd"), NewWindowEffect::none);
    EXPECT_EQ(decide("data:text/html,hi"), NewWindowEffect::none);
  }
}

TEST(HandOverLimitTest, AllowsOneHandOverAGestureAndOneASecond) {
  using namespace std::chrono_literals;
  const HandOverLimit::Clock::time_point t0{};
  HandOverLimit limit;
  EXPECT_TRUE(limit.allow(1, t0));
  EXPECT_FALSE(limit.allow(2, t0 + 999ms)) << "a second gesture within the second";
  EXPECT_FALSE(limit.allow(1, t0 + 5s)) << "the same gesture, however late";
  EXPECT_TRUE(limit.allow(2, t0 + 5s));
  EXPECT_TRUE(limit.allow(3, t0 + 6s)) << "a second later";
  // Refusals do not count: the next allowed one is a second after the last
  // that went ahead.
  EXPECT_FALSE(limit.allow(4, t0 + 6500ms));
  EXPECT_TRUE(limit.allow(5, t0 + 7s));
  // An unknown gesture is never taken for the last one.
  EXPECT_TRUE(limit.allow(0, t0 + 8s));
  EXPECT_TRUE(limit.allow(0, t0 + 9s));
}

TEST(ExternalSchemesTest, AreHttpsHttpAndMailtoInThatOrder) {
  ASSERT_EQ(externalSchemes.size(), 3u);
  EXPECT_EQ(externalSchemes[0], "https");
  EXPECT_EQ(externalSchemes[1], "http");
  EXPECT_EQ(externalSchemes[2], "mailto");
}

}  // namespace
}  // namespace lumivant
