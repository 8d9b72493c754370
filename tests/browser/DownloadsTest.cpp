#include "browser/Downloads.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "browser/ComponentFixture.h"
#include "support/TempDir.h"

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
  void ask(const std::string& suggestion, bool byUserGesture = true) {
    downloads.decideDestination(suggestion, byUserGesture, [this](std::optional<std::string> path) {
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
  downloads.didFail(1, {kDownloadCancelledCode, "cancelled"});
  EXPECT_THAT(host.log.alerts, IsEmpty());
}

// One panel at a time: downloads the user started wait for theirs in order;
// those the page started on its own are abandoned without a panel.
TEST_F(DownloadsTest, OnePanelAtATimeWithTheUsersDownloadsWaitingAndThePagesAbandoned) {
  ask("a.zip");
  ask("b.zip");
  ask("c.zip");
  ASSERT_EQ(host.log.pendingSavePanels.size(), 1u);
  host.log.pendingSavePanels[0]("/tmp/a.zip");
  ASSERT_EQ(host.log.pendingSavePanels.size(), 2u);
  EXPECT_EQ(host.log.savePanels[1].nameFieldStringValue, "b.zip");
  host.log.pendingSavePanels[1](std::nullopt);
  ASSERT_EQ(host.log.pendingSavePanels.size(), 3u);
  host.log.pendingSavePanels[2]("/tmp/c.zip");
  EXPECT_EQ(answers,
            (std::vector<std::optional<std::string>>{"/tmp/a.zip", std::nullopt, "/tmp/c.zip"}));

  answers.clear();
  for (int i = 1; i <= 30; ++i) ask("frame-" + std::to_string(i) + ".csv", false);
  EXPECT_EQ(host.log.pendingSavePanels.size(), 3u) << "no panel for what the page started";
  EXPECT_EQ(answers, std::vector<std::optional<std::string>>(30, std::nullopt))
      << "abandoned at once, not queued";
  ask("clicked.csv", true);
  EXPECT_EQ(host.log.pendingSavePanels.size(), 4u) << "the user's own still gets a panel";
}

TEST_F(DownloadsTest, AnyOtherFailureShowsOneAlertWithTheErrorsDescription) {
  downloads.didFail(3, {-1005, "The network connection was lost."});
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
  downloads.didEnd(7, 10, 100);
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
  downloads.didFail(1, {kDownloadCancelledCode, "cancelled"});
  downloads.didEnd(1, 25, 100);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].id, 2u);
  downloads.didEnd(2, 20, 0);  // finished: the row goes and nothing is announced
  EXPECT_THAT(shown(), IsEmpty());
  EXPECT_THAT(host.log.alerts, IsEmpty());
}

// A download that ends with fewer bytes than announced, or fails, or is
// cancelled with the rest at quitting, leaves nothing under the chosen name.
TEST_F(DownloadsTest, NothingOfAShortFailedOrCancelledDownloadStaysBehind) {
  testing::TempDir dir;
  const auto partial = [&](const std::string& name) {
    testing::writeFile(dir / name, "partial");
    return dir / name;
  };
  downloads.didBegin(1, partial("short.bin"), [] {});
  downloads.didBegin(2, partial("whole.bin"), [] {});
  downloads.didBegin(3, partial("failed.bin"), [] {});
  downloads.didEnd(1, 54'525'952, 209'715'200);
  downloads.didEnd(2, 6'291'456, 6'291'456);
  EXPECT_FALSE(std::filesystem::exists(dir / "short.bin"));
  EXPECT_TRUE(std::filesystem::exists(dir / "whole.bin"));
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "文件下载失败");
  EXPECT_EQ(host.log.alerts[0].informativeText,
            "连接在下载完成前断开了：只收到 52.0 MB，应有 200.0 MB。");
  downloads.didFail(3, {-1005, "Connection terminated unexpectedly"});
  downloads.didEnd(3, 10, 100);
  EXPECT_FALSE(std::filesystem::exists(dir / "failed.bin"));
  EXPECT_EQ(host.log.alerts.size(), 2u) << "one alert per failure, not a second for its end";

  int cancelled = 0;
  downloads.didBegin(4, partial("running.bin"), [&] { ++cancelled; });
  ask("waiting.bin");
  ask("behind.bin");
  EXPECT_TRUE(downloads.anyInFlight());
  downloads.cancelAll();
  EXPECT_EQ(cancelled, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "running.bin"));
  EXPECT_FALSE(downloads.anyInFlight());
  EXPECT_THAT(host.log.downloadRows.back(), IsEmpty());
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}))
      << "the one waiting behind the open panel is abandoned";
}

TEST(ReadableSizeTest, UsesTheLargestUnitBelowTheSize) {
  EXPECT_EQ(readableSize(0), "0 字节");
  EXPECT_EQ(readableSize(1023), "1023 字节");
  EXPECT_EQ(readableSize(4096), "4.0 KB");
  EXPECT_EQ(readableSize(54'525'952), "52.0 MB");
  EXPECT_EQ(readableSize(1'610'612'736), "1.5 GB");
}

}  // namespace
}  // namespace lumivant
