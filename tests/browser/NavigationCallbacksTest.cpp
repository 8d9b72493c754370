// The delegate's navigation callbacks: the base they judge against and the
// side effects they carry out.

#include <gmock/gmock.h>

#include "backend/Backend.h"
#include "browser/DelegateFixture.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct NavigationCallbacksTest : testing::DelegateTest {
  NavigationActionPolicy decide(const std::string& url,
                                NavigationType type = NavigationType::linkActivated,
                                bool download = false) {
    return delegate->decidePolicyForNavigationAction(
        NavigationAction{url, type, download, /*isUserGesture=*/true});
  }
};

TEST_F(NavigationCallbacksTest, AClickedOutsideLinkIsHandedToTheSystemAndCancelled) {
  delegate->origin = Url::parse("http://127.0.0.1:8765/");
  EXPECT_EQ(decide("https://example.org/paper?id=1"), NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("mailto:lab@example.org", NavigationType::linkActivated, true),
            NavigationActionPolicy::cancel);
  EXPECT_THAT(host.log.opened,
              ElementsAre("https://example.org/paper?id=1", "mailto:lab@example.org"));
  EXPECT_THAT(host.log.loads, IsEmpty());
}

TEST_F(NavigationCallbacksTest, DataFileTelFormsAndScriptsGoNowhere) {
  delegate->origin = Url::parse("http://127.0.0.1:8765/");
  EXPECT_EQ(decide("data:text/html,<p>x</p>"), NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("file:///etc/passwd"), NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("tel:+861012345678"), NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("https://example.org/", NavigationType::formSubmitted),
            NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("https://example.org/", NavigationType::other), NavigationActionPolicy::cancel);
  EXPECT_EQ(delegate->decidePolicyForNavigationAction(NavigationAction{}),
            NavigationActionPolicy::cancel);
  EXPECT_THAT(host.log.calls, IsEmpty());
}

TEST_F(NavigationCallbacksTest, OnlyTheMessagePageIsLocalBeforeThereIsABase) {
  EXPECT_EQ(decide("about:blank", NavigationType::other), NavigationActionPolicy::allow);
  EXPECT_EQ(decide("http://127.0.0.1:8765/", NavigationType::other),
            NavigationActionPolicy::cancel);
}

TEST_F(NavigationCallbacksTest, TheBaseFollowsTheOrigin) {
  delegate->origin = Url::parse("http://lab.example:8080/app/");
  EXPECT_EQ(decide("http://lab.example:8080/app/x", NavigationType::other),
            NavigationActionPolicy::allow);
  EXPECT_EQ(decide("http://lab.example:8080/app/x.zip", NavigationType::other, true),
            NavigationActionPolicy::download);
  delegate->origin = Url::parse("http://lab.example:9090/app/");
  EXPECT_EQ(decide("http://lab.example:8080/app/x", NavigationType::other),
            NavigationActionPolicy::cancel);
  EXPECT_EQ(decide("http://lab.example:9090/app/x", NavigationType::other),
            NavigationActionPolicy::allow);
}

// A Backend only picks its port and opens its log until it is started.
std::shared_ptr<Backend> makeBackend(const testing::TempDir& logs) {
  return std::make_shared<Backend>("/nonexistent/python3", logs.str());
}

TEST_F(NavigationCallbacksTest, TheBaseFollowsARestartedBackendToItsNewPort) {
  testing::TempDir logs;
  std::shared_ptr<Backend> first;
  try {
    first = makeBackend(logs);
  } catch (const std::exception& error) {
    GTEST_SKIP() << "a Backend cannot be constructed here yet: " << error.what();
  }
  const std::string firstUrl = first->url() + "page";
  delegate->backend = first;
  EXPECT_EQ(decide(firstUrl, NavigationType::other), NavigationActionPolicy::allow);

  delegate->backend.reset();  // the backend exited
  EXPECT_EQ(decide(firstUrl, NavigationType::other), NavigationActionPolicy::cancel);

  auto second = makeBackend(logs);
  while (second->port() == first->port()) second = makeBackend(logs);
  delegate->backend = second;
  EXPECT_EQ(decide(firstUrl, NavigationType::other), NavigationActionPolicy::cancel);
  EXPECT_EQ(decide(second->url() + "page", NavigationType::other), NavigationActionPolicy::allow);

  // Once set, the origin alone decides.
  delegate->origin = Url::parse("http://lab.example:8080/");
  EXPECT_EQ(decide(second->url() + "page", NavigationType::other), NavigationActionPolicy::cancel);
}

TEST_F(NavigationCallbacksTest, ResponsesThatCannotBeShownBecomeDownloads) {
  EXPECT_EQ(delegate->decidePolicyForNavigationResponse({false, std::nullopt}),
            NavigationResponsePolicy::download);
  EXPECT_EQ(delegate->decidePolicyForNavigationResponse({true, std::nullopt}),
            NavigationResponsePolicy::allow);
}

TEST_F(NavigationCallbacksTest, ANewWindowLinkToALocalPageLoadsInTheOneWebView) {
  delegate->origin = Url::parse("http://127.0.0.1:8765/");
  delegate->createWebViewFor(
      {"http://127.0.0.1:8765/report?id=3#top", NavigationType::linkActivated});
  ASSERT_EQ(host.log.loads.size(), 1u);
  EXPECT_EQ(host.log.loads[0].url, "http://127.0.0.1:8765/report?id=3#top");
  EXPECT_THAT(host.log.opened, IsEmpty());
}

TEST_F(NavigationCallbacksTest, ANewWindowLinkToAnOutsidePageOpensInTheSystem) {
  delegate->origin = Url::parse("http://127.0.0.1:8765/");
  delegate->createWebViewFor(
      {"https://example.org/", NavigationType::linkActivated, false, /*isUserGesture=*/true});
  EXPECT_THAT(host.log.opened, ElementsAre("https://example.org/"));
  EXPECT_THAT(host.log.loads, IsEmpty());
}

TEST_F(NavigationCallbacksTest, OtherNewWindowRequestsDoNothing) {
  delegate->origin = Url::parse("http://127.0.0.1:8765/");
  delegate->createWebViewFor({"http://127.0.0.1:8765/popup", NavigationType::other});
  delegate->createWebViewFor({"https://example.org/", NavigationType::other});
  delegate->createWebViewFor({"tel:+861012345678", NavigationType::linkActivated});
  delegate->createWebViewFor({std::nullopt, NavigationType::linkActivated});
  EXPECT_THAT(host.log.calls, IsEmpty());
}

}  // namespace
}  // namespace lumivant
