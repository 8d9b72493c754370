#include "browser/Downloads.h"

#include <gmock/gmock.h>

#include "browser/ComponentFixture.h"

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

struct DownloadsTest : testing::ComponentTest {
  Downloads downloads{*window};
  std::vector<std::optional<std::string>> answers;
  void ask(const std::string& suggestion) {
    downloads.decideDestination(suggestion, [this](std::optional<std::string> path) {
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
  downloads.didFail({kDownloadCancelledCode, "cancelled"});
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
  downloads.didFail({-1005, "The network connection was lost."});
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "文件下载失败");
  EXPECT_EQ(host.log.alerts[0].informativeText, "The network connection was lost.");
  EXPECT_THAT(host.log.alerts[0].buttons, IsEmpty());
  host.log.pendingAlerts[0](kAlertFirstButtonReturn);  // closing it has no effect
  EXPECT_EQ(host.log.alerts.size(), 1u);
}

TEST(DownloadFractionTest, IsTheShareReceivedOrNothingWhileTheSizeIsUnknown) {
  EXPECT_EQ(downloadFraction(0, 0), std::nullopt);
  EXPECT_EQ(downloadFraction(4096, 0), std::nullopt);
  EXPECT_EQ(downloadFraction(0, 6'291'456), 0.0);
  EXPECT_EQ(downloadFraction(3'145'728, 6'291'456), 0.5);
  EXPECT_EQ(downloadFraction(6'291'456, 6'291'456), 1.0);
  EXPECT_EQ(downloadFraction(7'000'000, 6'291'456), 1.0) << "more than announced is complete";
}

// The rows follow a download from its file's creation to its end, whatever the
// order in which several downloads report; the last showing is what the user sees.
TEST_F(DownloadsTest, EachDownloadInFlightHasARowUntilItEnds) {
  int cancelled = 0;
  const auto shown = [&] { return host.log.downloadRows.back(); };
  downloads.didReceiveData(7, 10, 100);  // abandoned at the panel: no row
  downloads.didEnd(7);
  EXPECT_THAT(host.log.downloadRows, IsEmpty());

  downloads.didBegin(1, "/home/u/数据/big.bin", [&] { ++cancelled; });
  downloads.didBegin(2, "/tmp/stream.log", [] {});
  ASSERT_EQ(shown().size(), 2u);
  EXPECT_EQ(shown()[0].label, "正在下载 big.bin");
  EXPECT_EQ(shown()[0].fraction, std::nullopt);
  EXPECT_EQ(shown()[1].label, "正在下载 stream.log");

  downloads.didReceiveData(1, 25, 100);
  EXPECT_EQ(shown()[0].fraction, 0.25);
  const size_t showings = host.log.downloadRows.size();
  downloads.didReceiveData(1, 25, 100);
  EXPECT_EQ(host.log.downloadRows.size(), showings) << "nothing changed, nothing redrawn";
  downloads.didReceiveData(2, 10, 0);
  downloads.didReceiveData(2, 20, 0);
  EXPECT_EQ(host.log.downloadRows.size(), showings + 2) << "an unknown size moves on each piece";
  EXPECT_EQ(shown()[1].fraction, std::nullopt);

  shown()[0].cancel();
  EXPECT_EQ(cancelled, 1) << "the row's button cancels its own download";
  downloads.didFail({kDownloadCancelledCode, "cancelled"});
  downloads.didEnd(1);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].id, 2u);
  downloads.didEnd(2);  // finished: the row goes and nothing is announced
  EXPECT_THAT(shown(), IsEmpty());
  EXPECT_THAT(host.log.alerts, IsEmpty());
}

}  // namespace
}  // namespace lumivant
