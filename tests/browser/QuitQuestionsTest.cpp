// What a quit the user asked for asks first: the page, then the downloads.

#include "browser/QuitQuestions.h"

#include <gmock/gmock.h>

#include "browser/ComponentFixture.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct QuitQuestionsTest : testing::ComponentTest {
  std::shared_ptr<QuitQuestions> quit = std::make_shared<QuitQuestions>(*window, *webView, queue);
  bool downloadsRunning = false;
  std::vector<bool> replies;
  std::vector<bool> pageAnswers;

  void SetUp() override {
    quit->downloadsRunning = [this] { return downloadsRunning; };
  }
  void ask() {
    quit->ask([this](bool go) { replies.push_back(go); });
  }
  // The page's leave-page handler asks, as the engine does during tryClose.
  std::function<void(bool)> pageAsks() {
    return quit->pageQuestion([this](bool leave) { pageAnswers.push_back(leave); });
  }
};

TEST_F(QuitQuestionsTest, APageWithoutAHandlerAndNoDownloadsQuitsAtOnce) {
  ask();
  EXPECT_EQ(host.log.calls.back(), "tryClose");
  EXPECT_THAT(replies, IsEmpty());
  host.log.pendingCloses[0]();
  EXPECT_THAT(replies, ElementsAre(true));
  queue.advance(kPageAnswerSeconds);
  EXPECT_THAT(replies, ElementsAre(true)) << "replied once";
  EXPECT_THAT(host.log.alerts, IsEmpty());
}

TEST_F(QuitQuestionsTest, ThePagesLeaveQuestionDecidesAndIsNotCutShort) {
  ask();
  auto answer = pageAsks();
  queue.advance(10);
  EXPECT_THAT(replies, IsEmpty()) << "the user is still reading the question";
  answer(false);
  EXPECT_THAT(pageAnswers, ElementsAre(false));
  EXPECT_THAT(replies, ElementsAre(false)) << "staying cancels the quit";

  ask();  // asked again: this time the user leaves
  pageAsks()(true);
  EXPECT_THAT(replies, ElementsAre(false, true));
  host.log.pendingCloses[1]();  // the engine's own agreement that follows
  EXPECT_THAT(replies, ElementsAre(false, true));
}

TEST_F(QuitQuestionsTest, APageThatDoesNotAnswerHoldsTheQuitForTwoSecondsOnly) {
  ask();
  queue.advance(kPageAnswerSeconds - 0.1);
  EXPECT_THAT(replies, IsEmpty());
  queue.advance(0.1);
  EXPECT_THAT(replies, ElementsAre(true));
  host.log.pendingCloses[0]();  // a late answer changes nothing
  EXPECT_THAT(replies, ElementsAre(true));
}

// Downloads are asked about once the page has agreed: 留下 is the default
// (first) button and what Escape gives (0); 退出 quits.
TEST_F(QuitQuestionsTest, RunningDownloadsAreAskedAboutAfterThePage) {
  downloadsRunning = true;
  ask();
  EXPECT_THAT(host.log.alerts, IsEmpty()) << "the page comes first";
  host.log.pendingCloses[0]();
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "还有下载没完成，要退出吗？");
  EXPECT_EQ(host.log.alerts[0].informativeText, "退出会取消它们，没下完的文件会删掉。");
  EXPECT_THAT(host.log.alerts[0].buttons, ElementsAre("留下", "退出"));
  ask();  // a second Ctrl+Q while the question shows is the same quit
  EXPECT_THAT(replies, ElementsAre(false));
  host.log.pendingAlerts[0](0);  // Escape
  EXPECT_THAT(replies, ElementsAre(false, false));

  ask();
  host.log.pendingCloses[1]();
  host.log.pendingAlerts[1](kAlertFirstButtonReturn);  // 留下
  ask();
  host.log.pendingCloses[2]();
  host.log.pendingAlerts[2](kAlertFirstButtonReturn + 1);  // 退出
  EXPECT_THAT(replies, ElementsAre(false, false, false, true));
}

// The question about downloads is about the moment it shows: downloads that
// end while the page is being asked leave nothing to ask, and the question
// goes, and the quit with it, once the last one ends while it shows.
TEST_F(QuitQuestionsTest, TheDownloadsQuestionStandsOnlyWhileADownloadRuns) {
  downloadsRunning = true;
  ask();
  downloadsRunning = false;
  quit->downloadsChanged();
  host.log.pendingCloses[0]();
  EXPECT_THAT(host.log.alerts, IsEmpty()) << "nothing was running when the page agreed";
  EXPECT_THAT(replies, ElementsAre(true));

  downloadsRunning = true;
  ask();
  host.log.pendingCloses[1]();
  ASSERT_EQ(host.log.alerts.size(), 1u);
  quit->downloadsChanged();  // one of two ended: the question stands
  EXPECT_THAT(host.log.withdrawnAlerts, IsEmpty());
  downloadsRunning = false;
  quit->downloadsChanged();
  EXPECT_THAT(host.log.withdrawnAlerts, ElementsAre(0u));
  EXPECT_THAT(replies, ElementsAre(true, true)) << "the quit goes ahead, once";
  host.log.pendingAlerts[0](kAlertFirstButtonReturn);  // a late 留下 changes nothing
  EXPECT_THAT(replies, ElementsAre(true, true));

  quit->downloadsChanged();  // with no quit being asked, nothing happens
  EXPECT_THAT(replies, ElementsAre(true, true));
}

}  // namespace
}  // namespace lumivant
