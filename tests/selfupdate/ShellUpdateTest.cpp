// The running shell's side of self-update, with a real bundle, data root and
// relaunched process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "selfupdate/ShellUpdate.h"

#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeFile;

class ShellUpdateTest : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string dataRoot = temp / "data";
  const std::string relaunchMarker = temp / "relaunched";
  ScopedEnv home{"ORLATH_FRAMEWORK_HOME", dataRoot};
  int swapped = 0;

  void SetUp() override {
    writeShell(executable, "old");
    writeFile(temp / "Lumivant/Info.json", R"({"CFBundleShortVersionString": "1.2.9"})");
  }

  // A shell that only notes that it ran, and with how many arguments.
  void writeShell(const std::string& path, const std::string& which) {
    writeFile(path, "#!/bin/sh\n# " + which + "\necho \"$#:$1\" > '" + relaunchMarker +
                        ".tmp'\nmv '" + relaunchMarker + ".tmp' '" + relaunchMarker + "'\n");
    fs::permissions(path, fs::perms(0755));
  }

  ShellUpdate update() {
    ShellUpdate shellUpdate(Bundle::forExecutable(executable), dataRoot);
    shellUpdate.onSwapped = [this] { ++swapped; };
    return shellUpdate;
  }
};

TEST_F(ShellUpdateTest, ANewerStagedShellTakesThePlaceOfTheRunningOneAndRelaunches) {
  // Only an ELF executable is swapped in: the new shell is a small program
  // that notes its run and its arguments.
  writeFile(dataRoot + "/payload/current.json", R"({"version": "1.3"})");
  const std::string staged = dataRoot + "/payload/1.3/extras/shell/linux/Lumivant";
  fs::create_directories(fs::path(staged).parent_path());
  fs::copy_file(RELAUNCH_RECORDER, staged);
  ScopedEnv marker("RELAUNCH_MARKER", relaunchMarker);

  ShellUpdate shellUpdate = update();
  EXPECT_TRUE(shellUpdate.replaceMyselfIfANewerShellIsStaged());
  EXPECT_EQ(swapped, 1);
  EXPECT_EQ(readFile(executable), readFile(RELAUNCH_RECORDER));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(relaunchMarker) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(readFile(relaunchMarker), "1:--gapplication-replace\n")
      << "the bundle's executable, told to take this instance's place";
  waitpid(-1, nullptr, 0);
}

TEST_F(ShellUpdateTest, NothingStagedLeavesTheShellAsItIs) {
  ShellUpdate shellUpdate = update();
  EXPECT_FALSE(shellUpdate.replaceMyselfIfANewerShellIsStaged());
  EXPECT_EQ(swapped, 0);
  EXPECT_NE(readFile(executable).find("# old"), std::string::npos);
  EXPECT_FALSE(fs::exists(relaunchMarker));
}

TEST_F(ShellUpdateTest, CleanupRemovesTheOldFileAndTheDeclarationNamesTheBundlesExecutable) {
  writeFile(executable + ".old", "left by the last swap");
  ShellUpdate shellUpdate = update();
  shellUpdate.cleanupOldShellFiles();
  shellUpdate.declareMyself();

  EXPECT_FALSE(fs::exists(executable + ".old"));
  const nlohmann::json declaration = nlohmann::json::parse(readFile(dataRoot + "/shell.json"));
  EXPECT_EQ(declaration["path"], executable);
  EXPECT_EQ(declaration["size"], fs::file_size(executable));
  EXPECT_FALSE(fs::exists(relaunchMarker));
}

}  // namespace
}  // namespace lumivant
