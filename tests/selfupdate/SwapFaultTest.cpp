// The swap under failures of single file-system steps: whatever fails, the
// executable's path holds the whole old or the whole new shell, the temporary
// copy is gone, and no previous-shell file is left behind by a failed swap.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "SwapFixture.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::readFile;
using ::testing::StartsWith;

enum class Step {
  none,
  create,
  copy,
  setMode,
  flush,
  link,
  linkImpossible,
  copyAside,
  replace,
  replaceAfterCopyAside,
  replaceReportsFailureAfterRenaming
};

// The real file system, except that one chosen step fails as a full disk or a
// refusing file system would. Before every step it also notes what lies at
// the executable's path, so that a test can tell whether it ever held less
// than a whole shell.
class FailingFileOperations final : public SwapFileOperations {
 public:
  FailingFileOperations(Step failing, std::string executable, std::string oldBytes,
                        std::string newBytes)
      : failing_(failing),
        executable_(std::move(executable)),
        old_(std::move(oldBytes)),
        new_(std::move(newBytes)) {}

  std::error_code createTemporaryFile(const std::string& directory, const std::string& stem,
                                      UniqueFd& fd, std::string& path) override {
    look();
    if (failing_ == Step::create) return fail(EACCES);
    return SwapFileOperations::createTemporaryFile(directory, stem, fd, path);
  }
  std::error_code copyContents(int source, int fd) override {
    look();
    if (failing_ != Step::copy) return SwapFileOperations::copyContents(source, fd);
    // Part of the file arrives, then the disk is full.
    std::string bytes;
    (void)readInBlocks(source, [&](std::string_view block) { bytes.append(block); });
    (void)writeAll(fd, std::string_view(bytes).substr(0, bytes.size() / 2));
    return fail(ENOSPC);
  }
  std::error_code setMode(int fd, mode_t mode) override {
    look();
    if (failing_ == Step::setMode) return fail(EPERM);
    return SwapFileOperations::setMode(fd, mode);
  }
  std::error_code flushAndClose(UniqueFd& fd) override {
    look();
    if (failing_ == Step::flush) {
      fd.reset();
      return fail(EIO);
    }
    return SwapFileOperations::flushAndClose(fd);
  }
  std::error_code hardLink(const std::string& existing, const std::string& linkPath) override {
    look();
    if (failing_ == Step::link) return fail(EIO);
    if (failing_ == Step::linkImpossible || failing_ == Step::copyAside ||
        failing_ == Step::replaceAfterCopyAside)
      return fail(EPERM);
    return SwapFileOperations::hardLink(existing, linkPath);
  }
  std::error_code copyAside(const std::string& existing, const std::string& copyPath) override {
    look();
    if (failing_ == Step::copyAside) return fail(ENOSPC);
    return SwapFileOperations::copyAside(existing, copyPath);
  }
  std::error_code replace(const std::string& from, const std::string& to) override {
    look();
    if (failing_ == Step::replace || failing_ == Step::replaceAfterCopyAside) return fail(EIO);
    if (failing_ == Step::replaceReportsFailureAfterRenaming) {
      // A network file system may report an error for a rename it made.
      (void)SwapFileOperations::replace(from, to);
      return fail(EIO);
    }
    return SwapFileOperations::replace(from, to);
  }
  std::error_code remove(const std::string& path) override {
    look();
    return SwapFileOperations::remove(path);
  }

  // Looks between steps at which the path was empty or held anything but a whole shell.
  int emptyLooks = 0;
  int partialLooks = 0;

 private:
  static std::error_code fail(int code) { return {code, std::system_category()}; }
  void look() {
    if (!fs::exists(executable_)) {
      ++emptyLooks;
    } else if (const std::string now = readFile(executable_); now != old_ && now != new_) {
      ++partialLooks;
    }
  }

  Step failing_;
  std::string executable_;
  std::string old_;
  std::string new_;
};

const char* nameOf(Step step) {
  switch (step) {
    case Step::none:
      return "None";
    case Step::create:
      return "Create";
    case Step::copy:
      return "CopyPartWay";
    case Step::setMode:
      return "SetMode";
    case Step::flush:
      return "Flush";
    case Step::link:
      return "Link";
    case Step::linkImpossible:
      return "LinkImpossible";
    case Step::copyAside:
      return "CopyAsideAfterImpossibleLink";
    case Step::replace:
      return "Replace";
    case Step::replaceAfterCopyAside:
      return "ReplaceAfterCopyAside";
    case Step::replaceReportsFailureAfterRenaming:
      return "ReplaceReportsFailureAfterRenaming";
  }
  return "Unknown";
}

struct FaultCase {
  Step failing;
  std::string error;  // what the failed line says about the failing step
};

class SwapFaultTest : public testing::SwapFixture,
                      public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SwapFaultTest, FailedStepLeavesTheOldShellWholeAndNothingBeside) {
  const std::string staged = stage("1.3", newBytes);
  FailingFileOperations files(GetParam().failing, executable, oldBytes, newBytes);

  EXPECT_FALSE(swap(site(), files));

  ASSERT_EQ(lines.size(), 1u);
  // "Rolled back" only where something was made and then taken away again.
  EXPECT_THAT(lines[0], StartsWith(GetParam().failing == Step::create
                                       ? "SHELL-SWAP failed: creating a temporary file"
                                       : "SHELL-SWAP failed, rolled back: "));
  EXPECT_THAT(lines[0], HasSubstr(GetParam().error));
  EXPECT_EQ(readFile(staged), newBytes);
  EXPECT_EQ(files.partialLooks, 0);
  expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(EveryStep, SwapFaultTest,
                         ::testing::Values(FaultCase{Step::create, "Permission denied"},
                                           FaultCase{Step::copy, "No space left on device"},
                                           FaultCase{Step::setMode, "Operation not permitted"},
                                           FaultCase{Step::flush, "Input/output error"},
                                           FaultCase{Step::link, "Input/output error"},
                                           FaultCase{Step::copyAside, "No space left on device"},
                                           FaultCase{Step::replace, "Input/output error"},
                                           FaultCase{Step::replaceAfterCopyAside,
                                                     "Input/output error"}),
                         [](const auto& info) { return std::string(nameOf(info.param.failing)); });

TEST_F(SwapFaultTest, ExecutablePathNeverHoldsLessThanAWholeShellDuringASwap) {
  stage("1.3", newBytes);
  FailingFileOperations files(Step::none, executable, oldBytes, newBytes);
  EXPECT_TRUE(swap(site(), files));
  EXPECT_EQ(files.emptyLooks, 0);
  EXPECT_EQ(files.partialLooks, 0);
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(readFile(previous), oldBytes);
}

TEST_F(SwapFaultTest, WhereLinksAreImpossibleThePreviousShellIsCopiedAsideNeverMoved) {
  stage("1.3", newBytes);
  FailingFileOperations files(Step::linkImpossible, executable, oldBytes, newBytes);
  EXPECT_TRUE(swap(site(), files));
  EXPECT_EQ(files.emptyLooks, 0);
  EXPECT_EQ(files.partialLooks, 0);
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(modeOf(executable), 0755u);
  EXPECT_EQ(readFile(previous), oldBytes);
  EXPECT_THAT(strayFiles(), ElementsAre("Lumivant.old"));
  EXPECT_THAT(relaunched, ElementsAre(bundle));
}

TEST_F(SwapFaultTest, AFailureAfterTheExecutableChangedIsNotCalledRolledBack) {
  stage("1.3", newBytes);
  FailingFileOperations files(Step::replaceReportsFailureAfterRenaming, executable, oldBytes,
                              newBytes);
  EXPECT_FALSE(swap(site(), files));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], StartsWith("SHELL-SWAP failed: "));
  EXPECT_THAT(lines[0], HasSubstr("Input/output error"));
  EXPECT_THAT(lines[0], HasSubstr("the previous shell is kept at " + previous));
  // Nothing is thrown away: the path holds the new shell, the old one is kept.
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(readFile(previous), oldBytes);
  EXPECT_TRUE(relaunched.empty());
}

}  // namespace
}  // namespace lumivant
