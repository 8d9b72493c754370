// The running shell's side of self-update, with a real bundle, data root and
// relaunched process.

#include "selfupdate/ShellUpdate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "selfupdate/Sha256.h"
#include "selfupdate/StartConfirmation.h"
#include "selfupdate/SwapLedger.h"
#include "support/ManualMainQueue.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using testing::ManualMainQueue;
using testing::readFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::waitForFile;
using testing::writeFile;

class ShellUpdateTest : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string dataRoot = temp / "data";
  const std::string ledger = temp / "state/shell-swaps.json";
  const std::string relaunchMarker = temp / "relaunched";
  ScopedEnv home{"ORLATH_FRAMEWORK_HOME", dataRoot};
  ScopedEnv marker{"RELAUNCH_MARKER", relaunchMarker};
  ManualMainQueue queue;
  std::string oldShell;
  int swapped = 0;
  int wentOn = 0;

  void SetUp() override {
    // A shell that only notes that it ran, and with how many arguments.
    writeFile(executable, "#!/bin/sh\necho \"$#:$1\" > '" + relaunchMarker + ".tmp'\nmv '" +
                              relaunchMarker + ".tmp' '" + relaunchMarker + "'\n");
    fs::permissions(executable, fs::perms(0755));
    oldShell = readFile(executable);
    writeFile(temp / "Lumivant/Info.json", R"({"CFBundleShortVersionString": "1.2.9"})");
  }

  // Stages a newer shell: a small ELF program that answers its trial, notes
  // its run and its arguments, and says it started.
  void stageRecorder() {
    writeFile(dataRoot + "/payload/current.json", R"({"version": "1.3"})");
    const std::string staged = dataRoot + "/payload/1.3/extras/shell/linux/Lumivant";
    fs::create_directories(fs::path(staged).parent_path());
    fs::copy_file(RELAUNCH_RECORDER, staged);
  }

  std::unique_ptr<ShellUpdate> update() {
    auto shellUpdate = std::make_unique<ShellUpdate>(
        Bundle::forExecutable(executable), dataRoot, ledger, queue,
        [](std::function<void()> work) { std::thread(std::move(work)).detach(); });
    shellUpdate->onSwapped = [this] { ++swapped; };
    return shellUpdate;
  }
  bool swap(ShellUpdate& shellUpdate) {
    return shellUpdate.replaceMyselfIfANewerShellIsStaged([this] { ++wentOn; });
  }
};

TEST_F(ShellUpdateTest, ANewerStagedShellTakesThePlaceOfTheRunningOneUntilItSaysItStarted) {
  stageRecorder();
  const auto shellUpdate = update();
  EXPECT_TRUE(swap(*shellUpdate));
  EXPECT_TRUE(shellUpdate->awaitsNewShell());
  EXPECT_EQ(readFile(executable), readFile(RELAUNCH_RECORDER));
  EXPECT_EQ(readFile(executable + ".old"), oldShell) << "kept until the new shell has started";

  EXPECT_TRUE(queue.runUntil([&] { return swapped == 1; }));
  EXPECT_EQ(readFile(relaunchMarker), "1:--gapplication-replace\n")
      << "the bundle's executable, told to take this instance's place";
  EXPECT_EQ(wentOn, 0);
  EXPECT_FALSE(swap(*shellUpdate)) << "no second swap while this one is leaving";
  waitpid(-1, nullptr, 0);
}

TEST_F(ShellUpdateTest, ANewShellThatFailsAtStartIsReplacedByThePreviousOneAndTheCallerGoesOn) {
  stageRecorder();
  ScopedEnv fails("RELAUNCH_FAILS", "1");
  const auto shellUpdate = update();
  EXPECT_TRUE(swap(*shellUpdate));
  EXPECT_TRUE(queue.runUntil([&] { return wentOn == 1; }));
  EXPECT_TRUE(fs::exists(relaunchMarker)) << "the new shell ran";
  EXPECT_EQ(readFile(executable), oldShell);
  EXPECT_FALSE(fs::exists(executable + ".old"));
  EXPECT_FALSE(shellUpdate->awaitsNewShell());
  EXPECT_EQ(swapped, 0);
  const ShellSwapRecord record = SwapLedger(ledger).peek(executable);
  EXPECT_FALSE(record.probation);
  EXPECT_TRUE(record.hasFailed(*sha256(RELAUNCH_RECORDER))) << "not to be swapped in again";
  EXPECT_FALSE(swap(*update()));
}

TEST_F(ShellUpdateTest, ARelaunchedShellConfirmsAndGoesOnOnceTheOldOneHasGone) {
  writeFile(executable + ".old", "previous shell");
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  const auto shellUpdate = update();
  shellUpdate->relaunchedBySwap(std::make_shared<StartConfirmation>(UniqueFd(ends[1])));

  shellUpdate->cleanupOldShellFiles();
  EXPECT_TRUE(fs::exists(executable + ".old"));
  EXPECT_FALSE(swap(*shellUpdate)) << "a shell that has yet to say it started does not swap";
  bool wentOnAfterTheOldOne = false;
  shellUpdate->confirmStart([&] { wentOnAfterTheOldOne = true; });
  char word = 0;
  ASSERT_EQ(::read(ends[0], &word, 1), 1);
  EXPECT_EQ(word, kStartedMessage);
  EXPECT_FALSE(queue.runNext(std::chrono::milliseconds(200)));
  EXPECT_TRUE(fs::exists(executable + ".old"));

  ::close(ends[0]);  // the old shell ends
  EXPECT_TRUE(queue.runUntil([&] { return wentOnAfterTheOldOne; }));
  EXPECT_TRUE(fs::exists(executable + ".old")) << "kept through the new shell's probation";
}

TEST_F(ShellUpdateTest, NothingStagedLeavesTheShellAsItIs) {
  const auto shellUpdate = update();
  EXPECT_FALSE(swap(*shellUpdate));
  EXPECT_EQ(swapped, 0);
  EXPECT_EQ(readFile(executable), oldShell);
  EXPECT_FALSE(fs::exists(relaunchMarker));
}

TEST_F(ShellUpdateTest, TheDeclarationNamesTheBundlesExecutable) {
  const auto shellUpdate = update();
  shellUpdate->cleanupOldShellFiles();
  shellUpdate->confirmStart([&] { shellUpdate->declareMyself(); });

  // The declaration is hashed and written away from the main thread.
  ASSERT_TRUE(waitForFile(dataRoot + "/shell.json"));
  const nlohmann::json declaration = nlohmann::json::parse(readFile(dataRoot + "/shell.json"));
  EXPECT_EQ(declaration["path"], executable);
  EXPECT_EQ(declaration["size"], fs::file_size(executable));
  EXPECT_FALSE(fs::exists(relaunchMarker));
}

TEST_F(ShellUpdateTest, TheEndOfTheApplicationKeepsADeclarationNotYetBegunFromBeginning) {
  std::vector<std::function<void()>> held;
  ShellUpdate shellUpdate(Bundle::forExecutable(executable), dataRoot, ledger, queue,
                          [&](std::function<void()> work) { held.push_back(std::move(work)); });
  shellUpdate.declareMyself();
  ASSERT_EQ(held.size(), 1u);
  shellUpdate.finishDeclaration();
  held[0]();
  EXPECT_FALSE(fs::exists(dataRoot + "/shell.json"));
}

}  // namespace
}  // namespace lumivant
