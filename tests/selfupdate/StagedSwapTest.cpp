#include <elf.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "SwapFixture.h"
#include "selfupdate/SwapLedger.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::elfImage;
using ::testing::IsEmpty;
using testing::readFile;
using ::testing::StartsWith;
using testing::writeFile;

class StagedSwapTest : public testing::SwapFixture {};

TEST_F(StagedSwapTest, PayloadPointerWithoutAUsableVersionIsIgnoredSilently) {
  const std::string pointer = dataRoot + "/payload/current.json";
  for (const char* contents : {"{not json", "[\"1.3\"]", "{\"other\": \"1.3\"}",
                               "{\"version\": 13}", "{\"version\": \"\"}"}) {
    stage("1.3", newBytes);
    writeFile(pointer, contents);
    EXPECT_FALSE(swap()) << contents;
  }
  fs::remove(pointer);
  EXPECT_FALSE(swap()) << "no pointer";
  fs::create_directory(pointer);
  EXPECT_FALSE(swap()) << "a directory as pointer";
  EXPECT_THAT(lines, IsEmpty());
  expectUntouched();
}

TEST_F(StagedSwapTest, VersionsThatNameNoSingleDirectoryAreIgnoredSilently) {
  // Newer shells wait where the traversals lead, outside payload/.
  fs::create_directories(dataRoot + "/payload/99");
  writeFile(dataRoot + "/x/extras/shell/linux/Lumivant", newBytes);
  writeFile(dataRoot + "/y", newBytes);
  // Written as JSON string contents: a NUL would cut the path short of its
  // fixed end, so that it names the file y itself.
  for (const char* version : {"99/../../x", "99/../../y\\u0000", "..", ".", "99.0\\n",
                              "99.0\\u007f", "99.0\\u0085", "99.0\\u001b[2J"}) {
    writeFile(dataRoot + "/payload/current.json",
              std::string("{\"version\": \"") + version + "\"}");
    EXPECT_FALSE(swap()) << version;
  }
  EXPECT_THAT(lines, IsEmpty());
  expectUntouched();
}

TEST_F(StagedSwapTest, OversizedOrTooDeepPointerIsIgnoredSilently) {
  stage("1.3", newBytes);
  const std::string pointer = dataRoot + "/payload/current.json";
  writeFile(pointer, "{\"version\": \"1.3\", \"pad\": \"" + std::string(1 << 20, ' ') + "\"}");
  EXPECT_FALSE(swap()) << "larger than 1 MiB";
  writeFile(pointer, "{\"version\": \"1.3\", \"deep\": " + std::string(64, '[') +
                         std::string(64, ']') + "}");
  EXPECT_FALSE(swap()) << "65 levels";
  EXPECT_THAT(lines, IsEmpty());
  expectUntouched();
  writeFile(pointer, "{\"version\": \"1.3\", \"deep\": " + std::string(63, '[') +
                         std::string(63, ']') + "}");
  EXPECT_TRUE(swap()) << "64 levels are fine";
}

TEST_F(StagedSwapTest, PayloadThatIsNotNewerIsSkippedWithItsVersions) {
  stage("1.2", newBytes);
  EXPECT_FALSE(swap(site("1.2.0")));
  stage("1.2.9", newBytes);
  EXPECT_FALSE(swap(site("1.2.10")));
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP skip: payload 1.2 不比我（1.2.0）新",
                                 "SHELL-SWAP skip: payload 1.2.9 不比我（1.2.10）新"));
  expectUntouched();
}

TEST_F(StagedSwapTest, UnknownOwnVersionIsSkippedWithAnEmptyOne) {
  stage("99.0", newBytes);
  EXPECT_FALSE(swap(site("")));
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP skip: payload 99.0 不比我（）新"));
  expectUntouched();
}

TEST_F(StagedSwapTest, NewerPayloadWithoutAHashableStagedShellIsIgnoredSilently) {
  const std::string staged = stage("1.3", newBytes);
  fs::remove(staged);
  EXPECT_FALSE(swap()) << "nothing staged";
  fs::create_directories(staged);
  EXPECT_FALSE(swap()) << "a directory staged";
  fs::remove(staged);
  // The shell for the other platform is not this one's.
  writeFile(dataRoot + "/payload/1.3/extras/shell/macos/Lumivant", newBytes);
  EXPECT_FALSE(swap()) << "only another platform's shell";
  EXPECT_THAT(lines, IsEmpty());
  expectUntouched();
}

TEST_F(StagedSwapTest, UnknownOrUnreadableExecutableIsIgnoredSilently) {
  stage("1.3", newBytes);
  SwapSite unknown = site();
  unknown.executable.clear();
  EXPECT_FALSE(swap(unknown));
  SwapSite missing = site();
  missing.executable = bundle + "/Missing";
  EXPECT_FALSE(swap(missing));
  EXPECT_THAT(lines, IsEmpty());
  expectUntouched();
}

struct Refusal {
  std::string what;
  std::function<void(const std::string& staged, const std::string& bytes)> make;
  std::string says;
};

// A newer, different staged shell that could not start here is refused with
// the failure line, and nothing is touched.
TEST_F(StagedSwapTest, OnlyAWholeElfExecutableForThisMachineIsSwappedIn) {
  const auto withHeader = [](std::string bytes, auto change) {
    change(*reinterpret_cast<Elf64_Ehdr*>(bytes.data()));
    return bytes;
  };
  const std::vector<Refusal> refusals = {
      {"cut short by an updater that died",
       [](const std::string& staged, const std::string& bytes) {
         writeFile(staged, bytes.substr(0, 4096));
       },
       "it ends at byte 4096, but its section header table ends at byte 90000"},
      {"a symbolic link to a whole shell",
       [this](const std::string& staged, const std::string& bytes) {
         writeFile(temp / "elsewhere", bytes);
         fs::remove(staged);
         fs::create_symlink(temp / "elsewhere", staged);
       },
       "it is a symbolic link"},
      {"a loadable segment past the end, and no section table to stop at first",
       [&](const std::string& staged, const std::string& bytes) {
         std::string image = withHeader(bytes.substr(0, 8192), [](Elf64_Ehdr& h) {
           h.e_shoff = 0;
           h.e_shnum = 0;
         });
         writeFile(staged, image);
       },
       "it ends at byte 8192, but its loadable segment 0 ends at byte 90000"},
      {"a script",
       [](const std::string& staged, const std::string&) {
         writeFile(staged, "#!/bin/sh\nexit 0\n");
       },
       "it is not an ELF file"},
      {"built for another machine",
       [&](const std::string& staged, const std::string& bytes) {
         writeFile(staged, withHeader(bytes, [](Elf64_Ehdr& h) { h.e_machine ^= 0x100; }));
       },
       "it is built for ELF machine"},
      {"an object file",
       [&](const std::string& staged, const std::string& bytes) {
         writeFile(staged, withHeader(bytes, [](Elf64_Ehdr& h) { h.e_type = ET_REL; }));
       },
       "it is no executable (ELF type 1)"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    lines.clear();
    fs::remove(dataRoot + "/" + stagedShellPath("1.3"));
    const std::string staged = stage("1.3", newBytes);
    refusal.make(staged, newBytes);
    EXPECT_FALSE(swap());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0],
                StartsWith("SHELL-SWAP failed: refusing " + staged + ": " + refusal.says));
    expectUntouched();
  }
}

TEST_F(StagedSwapTest, StagedShellIdenticalToTheRunningOneIsSkipped) {
  stage("1.3", oldBytes);
  EXPECT_FALSE(swap());
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP skip: 载荷里的壳就是我"));
  expectUntouched();
}

TEST_F(StagedSwapTest, NewerDifferentShellIsSwappedInAndTheBundleRelaunched) {
  // The directory is named by the version text exactly as the pointer has it.
  const std::string staged = stage("1.3.0-beta", newBytes);
  ASSERT_EQ(staged, dataRoot + "/payload/1.3.0-beta/extras/shell/linux/Lumivant");
  fs::permissions(staged, fs::perms(0600));
  writeFile(previous, "stale previous shell from an interrupted swap");

  EXPECT_TRUE(swap());

  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(modeOf(executable), 0755u);
  EXPECT_EQ(readFile(previous), oldBytes);
  EXPECT_EQ(readFile(staged), newBytes);
  EXPECT_EQ(modeOf(staged), 0600u);
  EXPECT_THAT(strayFiles(), ElementsAre("Lumivant.old"));
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP done: 1.2.9 → 1.3.0-beta，拉起新的自己"));
  EXPECT_THAT(relaunched, ElementsAre(bundle));
  EXPECT_THAT(tried, ElementsAre(newBytes)) << "the copy was tried before it went in";
}

TEST_F(StagedSwapTest, StagedShellThatDoesNotRunIsRefusedBeforeAnythingChanges) {
  const std::string staged = stage("1.3", newBytes);
  trialProblem = "it cannot be executed: No such file or directory";
  EXPECT_FALSE(swap());
  EXPECT_FALSE(swap()) << "the same bytes are not tried again";
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP failed: the staged shell did not run: it cannot be "
                                 "executed: No such file or directory",
                                 "SHELL-SWAP skip: payload 1.3 曾经失败，不再换入"));
  EXPECT_EQ(tried.size(), 1u);
  EXPECT_EQ(readFile(staged), newBytes);
  expectUntouched();

  // Another build of the same version gets its own trial, and goes in.
  trialProblem.reset();
  stage("1.3", elfImage("the same version, built again", 90'000));
  EXPECT_TRUE(swap());
  EXPECT_EQ(tried.size(), 2u);
}

TEST_F(StagedSwapTest, NoShellIsSwappedInWhileTheOneSwappedInLastIsOnProbation) {
  stage("1.3", newBytes);
  ASSERT_TRUE(swap());
  const ShellSwapRecord record = SwapLedger(ledger).peek(executable);
  ASSERT_TRUE(record.probation);
  EXPECT_EQ(record.probation->version, "1.3");
  EXPECT_EQ(record.probation->sha256, relaunchedSha256);
  EXPECT_EQ(record.probation->file, identityOfFile(executable));
  EXPECT_EQ(record.probation->cleanLaunches, 0);

  // A later payload waits: the previous shell beside the executable is the
  // one that proved itself, and stays the one to go back to.
  lines.clear();
  stage("1.4", elfImage("newer still", 95'000));
  EXPECT_FALSE(swap(site("1.2.9")));
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP skip: 换上的壳（payload 1.3）还在试用，payload 1.4 "
                                 "暂不换入"));
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(readFile(previous), oldBytes);
}

TEST_F(StagedSwapTest, StagedShellLargerThanAnyShellIsRefusedUnread) {
  const std::string staged = stage("1.3", newBytes);
  // Sparse: its length costs no disk, and a read of it would take seconds.
  fs::resize_file(staged, kLargestStagedShell + 1);
  EXPECT_FALSE(swap());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "SHELL-SWAP failed: refusing " + staged + ": it is 536870913 bytes long, " +
                          "more than the 512 MiB a shell may have");
  EXPECT_THAT(tried, IsEmpty());
  expectUntouched();
}

TEST_F(StagedSwapTest, RelaunchedShellCleansUpAndStopsAtTheIdenticalContent) {
  stage("1.3", newBytes);
  ASSERT_TRUE(swap());
  lines.clear();

  // What the relaunched instance does first, with the same bundle and payload.
  cleanupOldShellFiles(executable, ledger);
  EXPECT_EQ(readFile(previous), oldBytes) << "kept until the new shell has proved itself";
  EXPECT_FALSE(swap());
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP skip: 载荷里的壳就是我"));
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_THAT(relaunched, ElementsAre(bundle)) << "only the first instance relaunched";
}

TEST_F(StagedSwapTest, CleanupRemovesTheCopiesAnInterruptedSwapLeftAndNothingElse) {
  writeFile(previous, "old");
  writeFile(bundle + "/.Lumivant.new-a1B2c3", "partial copy");
  writeFile(bundle + "/Info.json", "{}");
  writeFile(bundle + "/Lumivant.older", "keep");
  cleanupOldShellFiles(executable, ledger);
  std::vector<std::string> left = strayFiles();
  std::sort(left.begin(), left.end());
  EXPECT_THAT(left, ElementsAre("Info.json", "Lumivant.old", "Lumivant.older"));
  EXPECT_EQ(readFile(executable), oldBytes);

  cleanupOldShellFiles(executable, ledger);  // nothing left to remove: no complaint
  cleanupOldShellFiles("", ledger);
}

// Makes the bundle directory refuse every change for the life of the object.
// Root ignores directory permissions, so as root the immutable attribute does
// it; where the file system has no such attribute the test cannot be made.
class ReadOnlyDirectory {
 public:
  explicit ReadOnlyDirectory(const std::string& path) : path_(path) {
    if (geteuid() != 0) {
      fs::permissions(path, fs::perms(0555));
      active_ = true;
      return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      active_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~ReadOnlyDirectory() {
    if (fd_ >= 0) {
      int flags = 0;
      if (::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
      ::close(fd_);
    } else if (active_) {
      fs::permissions(path_, fs::perms(0755));
    }
  }
  bool active() const { return active_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool active_ = false;
};

TEST_F(StagedSwapTest, ExecutableInADirectoryThatCannotBeWrittenStaysAsItWas) {
  const std::string staged = stage("1.3", newBytes);
  ReadOnlyDirectory readOnly(bundle);
  if (!readOnly.active()) GTEST_SKIP() << "cannot make a directory read-only for root here";

  EXPECT_FALSE(swap());
  EXPECT_FALSE(swap()) << "the same at every launch while the payload stays newer";

  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[0], StartsWith("SHELL-SWAP failed: creating a temporary file in " + bundle));
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(readFile(staged), newBytes);
  expectUntouched();
}

}  // namespace
}  // namespace lumivant
