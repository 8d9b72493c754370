#include "browser/PartialDownload.h"

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::vector<std::string> names(const fs::path& directory) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(directory))
    found.push_back(entry.path().filename().string());
  std::sort(found.begin(), found.end());
  return found;
}

PartialDownload create(const std::string& chosenPath) {
  auto created = PartialDownload::create(chosenPath);
  if (auto* problem = std::get_if<std::string>(&created)) ADD_FAILURE() << *problem;
  return std::move(std::get<PartialDownload>(created));
}

// Writes bytes where the engine would and puts them in the chosen file's place.
void download(PartialDownload& file, const std::string& bytes) {
  testing::writeFile(file.writtenPath(), bytes);
  EXPECT_EQ(file.complete(bytes.size()), std::nullopt);
}

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(PartialDownloadTest, TheFoldersNameIsThePrefixAndEightLettersOrDigits) {
  EXPECT_TRUE(isPartialDownloadName(".lumivant-download-aZ09bY18"));
  EXPECT_FALSE(isPartialDownloadName(".lumivant-download-aZ09bY1"));
  EXPECT_FALSE(isPartialDownloadName(".lumivant-download-aZ09bY189"));
  EXPECT_FALSE(isPartialDownloadName(".lumivant-download-aZ09bY1~")) << "not yet locked";
  EXPECT_FALSE(isPartialDownloadName(".lumivant-download-../../x"));
  EXPECT_FALSE(isPartialDownloadName("lumivant-download-aZ09bY18"));
  EXPECT_FALSE(isPartialDownloadName("thesis.bin"));
}

TEST(PartialDownloadTest, TheSavedFileKeepsTheReplacedFilesPermissionsOnlyWhenItIsTheUsers) {
  constexpr uid_t me = 1000;
  EXPECT_EQ(savedFileMode(std::nullopt, me, 022), 0644u) << "a new file";
  EXPECT_EQ(savedFileMode(std::nullopt, me, 077), 0600u);
  EXPECT_EQ(savedFileMode(std::nullopt, me, 002), 0664u);
  EXPECT_EQ(savedFileMode(ReplacedFile{true, me, S_IFREG | 0600}, me, 022), 0600u);
  EXPECT_EQ(savedFileMode(ReplacedFile{true, me, S_IFREG | 0664}, me, 077), 0664u);
  EXPECT_EQ(savedFileMode(ReplacedFile{true, me, S_IFREG | 04755}, me, 022), 0755u)
      << "never set-id";
  EXPECT_EQ(savedFileMode(ReplacedFile{true, 0, S_IFREG | 0666}, me, 022), 0644u)
      << "another user's file lends nothing";
  EXPECT_EQ(savedFileMode(ReplacedFile{false, me, S_IFLNK | 0777}, me, 022), 0644u)
      << "a link's mode is no file's";
}

TEST(PartialDownloadTest, SavingProblemsAreWordedForTheUser) {
  EXPECT_EQ(savingProblem(EACCES), "没有权限");
  EXPECT_EQ(savingProblem(EROFS), "这个位置只能读取，不能写入");
  EXPECT_EQ(savingProblem(ENOSPC), "磁盘空间不足");
  EXPECT_EQ(savingProblem(EISDIR), "那里有一个同名的文件夹");
  EXPECT_FALSE(savingProblem(EIO).empty());
}

// A new file gets the mode the umask gives; a link at the chosen name is
// replaced, and what it pointed to stays as it was.
TEST(PartialDownloadTest, ANewFileFollowsTheUmaskAndALinkIsReplacedNotItsTarget) {
  testing::TempDir dir;
  const mode_t before = ::umask(027);
  PartialDownload fresh = create(dir / "fresh.csv");
  download(fresh, "a,b\n");
  ::umask(before);
  EXPECT_EQ(modeOf(dir / "fresh.csv"), 0640u);

  testing::writeFile(dir / "target.bin", "the link's target");
  fs::create_symlink("target.bin", dir / "link.bin");
  PartialDownload overLink = create(dir / "link.bin");
  download(overLink, "new");
  EXPECT_FALSE(fs::is_symlink(dir / "link.bin"));
  EXPECT_EQ(testing::readFile(dir / "link.bin"), "new");
  EXPECT_EQ(testing::readFile(dir / "target.bin"), "the link's target");
}

// Two downloads to one name: each is whole, and the one that ends last stays.
TEST(PartialDownloadTest, TwoDownloadsToOneNameLeaveTheLastWhole) {
  testing::TempDir dir;
  PartialDownload first = create(dir / "data.bin");
  PartialDownload second = create(dir / "data.bin");
  EXPECT_NE(first.writtenPath(), second.writtenPath());
  testing::writeFile(second.writtenPath(), "second, longer");
  download(first, "first");
  EXPECT_EQ(testing::readFile(dir / "data.bin"), "first");
  EXPECT_EQ(second.complete(14), std::nullopt);
  EXPECT_EQ(testing::readFile(dir / "data.bin"), "second, longer");
  EXPECT_THAT(names(dir.path()), ElementsAre("data.bin"));
}

TEST(PartialDownloadTest, AFileThatWasNeverWrittenIsNoCompleteDownload) {
  testing::TempDir dir;
  testing::writeFile(dir / "kept.bin", "old");
  PartialDownload file = create(dir / "kept.bin");
  EXPECT_EQ(file.complete(0), "下载的文件不完整：写入磁盘的只有 0 字节，应有 0 字节。");
  EXPECT_EQ(testing::readFile(dir / "kept.bin"), "old");
}

// What a shell that was killed left behind goes with the next download into
// the same directory; a folder a running download holds, a link, another's
// name and a folder the engine did not make stay.
TEST(PartialDownloadTest, TheNextDownloadRemovesWhatAKilledShellLeftBehind) {
  testing::TempDir dir;
  testing::TempDir elsewhere;
  testing::writeFile(dir / ".lumivant-download-Killed01/download.wkdownload", "partial");
  testing::writeFile(dir / ".lumivant-download-Killed02/download", "partial");
  testing::writeFile(dir / ".lumivant-download-Nested01/inner/keep", "not the engine's");
  testing::writeFile(dir / ".lumivant-download-other/file", "not ours by name");
  testing::writeFile(elsewhere / "precious", "linked to");
  fs::create_symlink(elsewhere.path(), dir / ".lumivant-download-Linked01");
  PartialDownload running = create(dir / "running.bin");
  testing::writeFile(running.writtenPath(), "still coming");
  const std::string runningFolder = fs::path(running.writtenPath()).parent_path().filename();

  PartialDownload next = create(dir / "next.bin");
  const std::string nextFolder = fs::path(next.writtenPath()).parent_path().filename();
  std::vector<std::string> expected{".lumivant-download-Linked01", ".lumivant-download-Nested01",
                                    ".lumivant-download-other", runningFolder, nextFolder};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names(dir.path()), expected);
  EXPECT_EQ(testing::readFile(running.writtenPath()), "still coming");
  EXPECT_EQ(testing::readFile(elsewhere / "precious"), "linked to");
  EXPECT_EQ(testing::readFile(dir / ".lumivant-download-Nested01/inner/keep"), "not the engine's");
}

}  // namespace
}  // namespace lumivant
