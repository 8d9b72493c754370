// The self-update steps as the application's launch runs them, with a real
// bundle, data root and relaunched process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/AppDelegate.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using testing::ManualMainQueue;
using testing::readFile;
using testing::RecordingHost;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeFile;

class SwapLaunchTest : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string dataRoot = temp / "data";
  const std::string relaunchMarker = temp / "relaunched";
  ScopedEnv home{"ORLATH_FRAMEWORK_HOME", dataRoot};
  RecordingHost host;
  ManualMainQueue queue;

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

  std::shared_ptr<AppDelegate> delegate() {
    return std::make_shared<AppDelegate>(
        host, queue, Bundle::forExecutable(executable),
        [](const std::string&, const std::string&, const std::string&) {
          return LocalStartOutcome(StartFailure{"not here"});
        });
  }
};

TEST_F(SwapLaunchTest, SwapBuildsNothingRelaunchesAndTerminatesOneSecondLater) {
  // Only an ELF executable is swapped in: the new shell is a small program
  // that notes its run and its arguments.
  writeFile(dataRoot + "/payload/current.json", R"({"version": "1.3"})");
  const std::string staged = dataRoot + "/payload/1.3/extras/shell/linux/Lumivant";
  fs::create_directories(fs::path(staged).parent_path());
  fs::copy_file(RELAUNCH_RECORDER, staged);
  ScopedEnv marker("RELAUNCH_MARKER", relaunchMarker);

  auto app = delegate();
  app->applicationDidFinishLaunching();

  EXPECT_TRUE(host.log.calls.empty()) << host.log.calls.front();
  EXPECT_FALSE(fs::exists(dataRoot + "/shell.json"));
  EXPECT_EQ(readFile(executable), readFile(RELAUNCH_RECORDER));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(relaunchMarker) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(readFile(relaunchMarker), "1:--gapplication-replace\n")
      << "the bundle's executable, told to take this instance's place";
  waitpid(-1, nullptr, 0);

  queue.advance(0.99);
  EXPECT_EQ(host.log.terminations, 0);
  queue.advance(0.01);
  EXPECT_EQ(host.log.terminations, 1);
}

TEST_F(SwapLaunchTest, NormalLaunchCleansUpAndDeclaresTheBundlesExecutable) {
  writeFile(executable + ".old", "left by the last swap");
  auto app = delegate();
  app->applicationDidFinishLaunching();

  EXPECT_FALSE(fs::exists(executable + ".old"));
  EXPECT_THAT(host.log.calls, Contains("createMainWindow"));
  const nlohmann::json declaration = nlohmann::json::parse(readFile(dataRoot + "/shell.json"));
  EXPECT_EQ(declaration["path"], executable);
  EXPECT_EQ(declaration["size"], fs::file_size(executable));
  EXPECT_FALSE(fs::exists(relaunchMarker));
  // The local start runs on its own thread and reports through the queue.
  EXPECT_TRUE(queue.runUntil(
      [&] { return !host.log.calls.empty() && host.log.calls.back() == "loadHTMLString"; },
      std::chrono::seconds(10)));
}

}  // namespace
}  // namespace lumivant
