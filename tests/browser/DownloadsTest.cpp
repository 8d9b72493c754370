#include "browser/Downloads.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>

#include "browser/ComponentFixture.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;

std::vector<std::string> names(const std::string& directory) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    found.push_back(entry.path().filename().string());
  std::sort(found.begin(), found.end());
  return found;
}

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
  DownloadId nextId = 1;
  DownloadId ask(const std::string& suggestion, bool byUserGesture = true) {
    downloads.decideDestination(
        nextId, suggestion, byUserGesture,
        [this](std::optional<std::string> path) { answers.push_back(std::move(path)); });
    return nextId++;
  }
  // Chooses path in the newest panel and writes bytes where the answer says,
  // as the engine does; gives the written file's path.
  std::string saveAs(const std::string& path, const std::string& bytes) {
    host.log.pendingSavePanels.back()(path);
    if (!answers.back()) return {};
    testing::writeFile(*answers.back(), bytes);
    return *answers.back();
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

// The download is written in a private folder beside the chosen file and
// takes that file's place, permissions and all, only once it is whole.
TEST_F(DownloadsTest, TheChosenFileIsReplacedOnlyWhenTheDownloadIsWhole) {
  testing::TempDir dir;
  const std::string chosen = dir / "研究/thesis.bin";
  testing::writeFile(chosen, "the user's data");
  std::filesystem::permissions(chosen, std::filesystem::perms(0640));

  const DownloadId id = ask("thesis.bin");
  EXPECT_THAT(answers, IsEmpty()) << "answered before the panel closed";
  const std::string written = saveAs(chosen, "new bytes, all of them");
  ASSERT_EQ(answers.size(), 1u);
  const std::filesystem::path folder = std::filesystem::path(written).parent_path();
  EXPECT_EQ(folder.parent_path(), std::filesystem::path(chosen).parent_path());
  EXPECT_TRUE(isPartialDownloadName(folder.filename().string())) << written;
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0700));

  downloads.didBegin(id, written, [] {});
  EXPECT_EQ(host.log.downloadRows.back().at(0).label, "正在下载 thesis.bin");
  downloads.didReceiveData(id, 22, 22);
  EXPECT_EQ(testing::readFile(chosen), "the user's data") << "untouched while it runs";
  downloads.didEnd(id, 22, 22);
  EXPECT_EQ(testing::readFile(chosen), "new bytes, all of them");
  EXPECT_EQ(std::filesystem::status(chosen).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(names(dir / "研究"), (std::vector<std::string>{"thesis.bin"}));
  EXPECT_THAT(host.log.alerts, IsEmpty()) << "a finished download shows no alert";
  EXPECT_THAT(host.log.announcements, ElementsAre("下载完成：thesis.bin"));
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
  testing::TempDir dir;
  ask("a.zip");
  ask("b.zip");
  ask("c.zip");
  ASSERT_EQ(host.log.pendingSavePanels.size(), 1u);
  host.log.pendingSavePanels[0](dir / "a.zip");
  ASSERT_EQ(host.log.pendingSavePanels.size(), 2u);
  EXPECT_EQ(host.log.savePanels[1].nameFieldStringValue, "b.zip");
  host.log.pendingSavePanels[1](std::nullopt);
  ASSERT_EQ(host.log.pendingSavePanels.size(), 3u);
  host.log.pendingSavePanels[2](dir / "c.zip");
  EXPECT_THAT(answers, ElementsAre(Optional(_), std::nullopt, Optional(_)));

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
  downloads.didEnd(2, 20, 0);  // finished: the row goes without an alert
  EXPECT_THAT(shown(), IsEmpty());
  EXPECT_THAT(host.log.alerts, IsEmpty());
  EXPECT_THAT(host.log.announcements, ElementsAre("已取消下载：big.bin"));
}

// However a download ends short of whole (a lost connection, fewer bytes than
// announced, fewer on disk than received, the row's 取消, quitting), the chosen
// file stays exactly as it was, or absent, and nothing else is left.
TEST_F(DownloadsTest, AnUnfinishedDownloadLeavesTheChosenFileAsItWas) {
  struct Ending {
    const char* what;
    std::function<void(Downloads&, DownloadId)> end;
    const char* alert;      // the failure alert's text, or nullptr for none
    const char* announced;  // what a screen reader is told, or nullptr for nothing
  };
  const std::vector<Ending> endings{
      {"failed",
       [](Downloads& d, DownloadId id) {
         d.didFail(id, {-1005, "Connection terminated unexpectedly"});
         d.didEnd(id, 7, 100);
       },
       "Connection terminated unexpectedly", "下载失败：thesis.bin"},
      {"ended short", [](Downloads& d, DownloadId id) { d.didEnd(id, 54'525'952, 209'715'200); },
       "连接在下载完成前断开了：只收到 52.0 MB，应有 200.0 MB。", "下载失败：thesis.bin"},
      {"fewer bytes on disk than received",
       [](Downloads& d, DownloadId id) { d.didEnd(id, 4096, 0); },
       "下载的文件不完整：写入磁盘的只有 7 字节，应有 4.0 KB。", "下载失败：thesis.bin"},
      {"cancelled",
       [](Downloads& d, DownloadId id) {
         d.didFail(id, {kDownloadCancelledCode, "cancelled"});
         d.didEnd(id, 7, 100);
       },
       nullptr, "已取消下载：thesis.bin"},
      {"quit", [](Downloads& d, DownloadId) { d.cancelAll(); }, nullptr, nullptr},
  };
  for (const Ending& ending : endings) {
    for (const bool replacing : {true, false}) {
      SCOPED_TRACE(std::string(ending.what) + (replacing ? ", replacing a file" : ""));
      testing::TempDir dir;
      if (replacing) testing::writeFile(dir / "thesis.bin", "the user's data");
      host.log.alerts.clear();
      host.log.announcements.clear();
      const DownloadId id = ask("thesis.bin");
      const std::string written = saveAs(dir / "thesis.bin", "partial");
      int cancelled = 0;
      downloads.didBegin(id, written, [&] { ++cancelled; });
      ending.end(downloads, id);
      EXPECT_FALSE(downloads.anyInFlight());
      if (replacing) {
        EXPECT_EQ(names(dir.str()), (std::vector<std::string>{"thesis.bin"}));
        EXPECT_EQ(testing::readFile(dir / "thesis.bin"), "the user's data");
      } else {
        EXPECT_THAT(names(dir.str()), IsEmpty());
      }
      if (ending.alert) {
        ASSERT_EQ(host.log.alerts.size(), 1u) << "one alert, not a second for its end";
        EXPECT_EQ(host.log.alerts[0].messageText, "文件下载失败");
        EXPECT_EQ(host.log.alerts[0].informativeText, ending.alert);
      } else {
        EXPECT_THAT(host.log.alerts, IsEmpty());
      }
      if (ending.announced) {
        EXPECT_THAT(host.log.announcements, ElementsAre(ending.announced));
      } else {
        EXPECT_THAT(host.log.announcements, IsEmpty());
      }
      EXPECT_EQ(cancelled, std::string(ending.what) == "quit" ? 1 : 0);
    }
  }
}

// Quitting abandons the downloads still waiting for a panel as well.
TEST_F(DownloadsTest, QuittingAbandonsTheDownloadsWaitingForAPanel) {
  ask("open.bin");
  ask("behind.bin");
  downloads.cancelAll();
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_FALSE(downloads.anyInFlight());
}

// A folder the shell cannot write in is said so at once, and the download is
// abandoned as if the panel had been cancelled: no second alert follows.
TEST_F(DownloadsTest, AFolderThatCannotTakeTheFileIsAFailureSaidAtOnce) {
  testing::TempDir dir;
  const std::string missing = dir / "gone";
  ask("thesis.bin");
  host.log.pendingSavePanels[0](missing + "/thesis.bin");
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "文件下载失败");
  EXPECT_EQ(host.log.alerts[0].informativeText,
            "无法在文件夹“" + missing + "”中保存文件：文件夹已不存在。请选择另一个文件夹。");
  downloads.didFail(1, {kDownloadCancelledCode, "cancelled"});
  EXPECT_EQ(host.log.alerts.size(), 1u);
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
