#include "browser/Downloads.h"

#include <gmock/gmock.h>

#include "browser/DelegateFixture.h"

namespace lumivant {
namespace {

using ::testing::IsEmpty;

TEST(LastPathComponentTest, IsTheTextAfterTheLastSlash) {
  EXPECT_EQ(lastPathComponent("report.pdf"), "report.pdf");
  EXPECT_EQ(lastPathComponent("a/b/report.pdf"), "report.pdf");
  EXPECT_EQ(lastPathComponent("/abs/report.pdf"), "report.pdf");
  EXPECT_EQ(lastPathComponent("a/b/report.pdf//"), "report.pdf");
  EXPECT_EQ(lastPathComponent("数据/结果 2024.csv"), "结果 2024.csv");
  EXPECT_EQ(lastPathComponent(""), "");
  EXPECT_EQ(lastPathComponent("/"), "");
  EXPECT_EQ(lastPathComponent("///"), "");
}

struct DownloadsTest : testing::DelegateTest {
  std::vector<std::optional<std::string>> answers;
  void ask(const std::string& suggestion) {
    delegate->decideDownloadDestination(suggestion, [this](std::optional<std::string> path) {
      answers.push_back(std::move(path));
    });
  }
};

TEST_F(DownloadsTest, TheSavePanelOffersTheSuggestedNameWithoutItsDirectories) {
  ask("exports/2024/report.pdf");
  ASSERT_EQ(host.log.savePanels.size(), 1u);
  EXPECT_EQ(host.log.savePanels[0].title, "保存研究文件");
  EXPECT_EQ(host.log.savePanels[0].nameFieldStringValue, "report.pdf");
  EXPECT_TRUE(host.log.savePanels[0].canCreateDirectories);
  EXPECT_THAT(answers, IsEmpty()) << "answered before the panel closed";
}

TEST_F(DownloadsTest, TheChosenPathIsHandedOnOnce) {
  ask("report.pdf");
  host.log.pendingSavePanels[0]("/home/u/研究/report.pdf");
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"/home/u/研究/report.pdf"}));
}

TEST_F(DownloadsTest, CancellingThePanelAbandonsTheDownloadAndShowsNothing) {
  ask("");
  EXPECT_EQ(host.log.savePanels[0].nameFieldStringValue, "");
  host.log.pendingSavePanels[0](std::nullopt);
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
  delegate->downloadDidFail({kDownloadCancelledCode, "cancelled"});
  EXPECT_THAT(host.log.alerts, IsEmpty());
}

TEST_F(DownloadsTest, SeveralDownloadsEachHaveTheirOwnPanel) {
  ask("a.zip");
  ask("b.zip");
  ASSERT_EQ(host.log.pendingSavePanels.size(), 2u);
  host.log.pendingSavePanels[1]("/tmp/b.zip");
  host.log.pendingSavePanels[0](std::nullopt);
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"/tmp/b.zip", std::nullopt}));
}

TEST_F(DownloadsTest, AnyOtherFailureShowsOneAlertWithTheErrorsDescription) {
  delegate->downloadDidFail({-1005, "The network connection was lost."});
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "文件下载失败");
  EXPECT_EQ(host.log.alerts[0].informativeText, "The network connection was lost.");
  EXPECT_THAT(host.log.alerts[0].buttons, IsEmpty());
  host.log.pendingAlerts[0](kAlertFirstButtonReturn);  // closing it has no effect
  EXPECT_EQ(host.log.alerts.size(), 1u);
}

}  // namespace
}  // namespace lumivant
