// The launch up to the window, as one table: what the host is asked, in which
// order, and what it is to do with the process, for each way a launch finds
// its arguments, the data root's running shell and a shell on probation.

#include "app/Launch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>

#include "app/CommandLine.h"
#include "base/UniqueFd.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/ShellProbation.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using Action = LaunchOutcome::Action;
using testing::readFile;
using testing::writeFile;

constexpr const char* kNewShell = "the new shell";
constexpr const char* kPreviousShell = "the previous shell";

struct Case {
  const char* name;
  std::vector<std::string> arguments;
  // The environment names a socket to a shell that relaunched this one.
  bool relaunchedBySwap = false;
  bool anotherShellRuns = false;
  bool itAnswers = true;
  // The executable is a shell on probation, and a launch of it ended without
  // quitting.
  bool aLaunchOnProbationFailed = false;
  bool displayOpens = true;

  Action action = Action::run;
  int status = 0;
  // What the launch writes: to standard output, and to standard error.
  enum class Output { nothing, versionLine, help } output = Output::nothing;
  const char* diagnosticsHave = nullptr;
  std::vector<std::string> calls = {};
  const char* executableHolds = kNewShell;
};

std::vector<Case> cases(const std::string& executable) {
  const std::vector<std::string> plain = {"Lumivant"};
  const std::vector<std::string> replacing = {"Lumivant", kReplaceInstanceArgument};
  const std::vector<std::string> runs = {"claimInstance", "openDisplay", "awaitReplacedInstance"};
  const char* noDisplay = "打不开显示";
  return {
      {.name = "a version question is answered before anything else",
       .arguments = {"Lumivant", kPrintVersionArgument},
       .aLaunchOnProbationFailed = true,
       .action = Action::exit,
       .output = Case::Output::versionLine},
      {.name = "a person's version question is answered even while another shell runs",
       .arguments = {"Lumivant", "--version"},
       .anotherShellRuns = true,
       .action = Action::exit,
       .output = Case::Output::versionLine},
      {.name = "the long help question is answered without a display",
       .arguments = {"Lumivant", "--help"},
       .action = Action::exit,
       .output = Case::Output::help},
      {.name = "the short help question is answered too, whatever follows it",
       .arguments = {"Lumivant", "-h", "--no-such-option"},
       .action = Action::exit,
       .output = Case::Output::help},
      {.name = "an unknown option is a usage error",
       .arguments = {"Lumivant", "--fullscreen"},
       .action = Action::exit,
       .status = 2,
       .diagnosticsHave = "“--fullscreen”"},
      {.name = "a stray argument is a usage error, even after a known option",
       .arguments = {"Lumivant", kReplaceInstanceArgument, "notebook.ipynb"},
       .action = Action::exit,
       .status = 2,
       .diagnosticsHave = "“notebook.ipynb”"},
      {.name = "the data root's first shell runs", .arguments = plain, .calls = runs},
      {.name = "a launch with no display says so and ends before it is recorded",
       .arguments = plain,
       .displayOpens = false,
       .action = Action::exit,
       .status = 1,
       .diagnosticsHave = noDisplay,
       .calls = {"claimInstance", "openDisplay"}},
      {.name = "a later launch brings the running shell to the front and leaves",
       .arguments = plain,
       .anotherShellRuns = true,
       .action = Action::exit,
       .calls = {"claimInstance", "activateRunningInstance"}},
      {.name = "a running shell that does not answer is reported",
       .arguments = plain,
       .anotherShellRuns = true,
       .itAnswers = false,
       .action = Action::reportUnresponsiveInstance,
       .status = 1,
       .calls = {"claimInstance", "activateRunningInstance"}},
      {.name = "after a failed launch on probation the previous shell is back and runs instead, "
               "before the running shell of that probation is asked anything",
       .arguments = plain,
       .anotherShellRuns = true,
       .aLaunchOnProbationFailed = true,
       // The recording host's exec fails, so this process goes on in its place.
       .action = Action::exit,
       .calls = {"executeInstead " + executable, "claimInstance", "activateRunningInstance"},
       .executableHolds = kPreviousShell},
      {.name = "a shell relaunched by a swap cannot wait for the shell it replaces",
       .arguments = replacing,
       .relaunchedBySwap = true,
       // That one goes once this one's window shows.
       .calls = {"claimInstance replacing the running shell", "openDisplay"}},
      {.name = "a takeover that nobody waits for waits for the shell it replaces",
       .arguments = replacing,
       .calls = {"claimInstance replacing the running shell", "openDisplay",
                 "awaitReplacedInstance"}},
  };
}

// What a swap and a launch of its shell that then crashed leave: the new shell
// in place on probation, the previous one beside it, and the launch in the
// ledger, under a stamp no running process has.
void leaveAFailedLaunchOnProbation(const std::string& executable, const std::string& ledger) {
  writeFile(previousShellPath(executable), kPreviousShell);
  std::optional<SwapLedger::Held> held = SwapLedger(ledger).hold(std::chrono::seconds(5));
  ASSERT_TRUE(held);
  LaunchStamp crashed = *ownLaunchStamp();
  ++crashed.start;
  held->record(executable).probation = Probation{
      "1.3", *sha256(executable), *identityOfFile(executable), 0, {{crashed, true, true}}};
  ASSERT_TRUE(held->write());
}

TEST(LaunchTest, EachWayALaunchFindsThingsLeadsToItsOutcome) {
  testing::TempDir dir;
  const std::string executable = dir / "bundle/Lumivant";
  for (const Case& c : cases(executable)) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "bundle");
    fs::remove_all(dir / "state");
    writeFile(executable, kNewShell);
    const std::string ledger = dir / "state/shell-swaps.json";
    if (c.aLaunchOnProbationFailed) leaveAFailedLaunchOnProbation(executable, ledger);
    UniqueFd relauncherEnd;
    std::optional<testing::ScopedEnv> confirmationVariable;
    if (c.relaunchedBySwap) {
      int ends[2];
      ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
      relauncherEnd = UniqueFd(ends[0]);
      confirmationVariable.emplace(kStartConfirmationVariable, std::to_string(ends[1]));
    }
    testing::RecordingHost host;
    host.anotherInstanceRuns = c.anotherShellRuns;
    host.runningInstanceAnswers = c.itAnswers;
    host.displayOpens = c.displayOpens;

    std::vector<std::string> swapLines;
    SwapServices services;
    services.log = [&](const std::string& line) { swapLines.push_back(line); };
    ShellProbation probation(executable, ledger, services);
    Launch launch(host, executable, probation, "org.example.Lumivant.test");
    const LaunchOutcome outcome = launch.run(c.arguments);

    EXPECT_EQ(outcome.action, c.action);
    EXPECT_EQ(outcome.status, c.status);
    switch (c.output) {
      case Case::Output::nothing:
        EXPECT_EQ(outcome.output, "");
        break;
      case Case::Output::versionLine:
        EXPECT_TRUE(isVersionLine(outcome.output)) << outcome.output;
        break;
      case Case::Output::help:
        EXPECT_EQ(outcome.output, helpText());
        break;
    }
    if (c.diagnosticsHave) {
      EXPECT_THAT(outcome.diagnostics, ::testing::HasSubstr(c.diagnosticsHave));
      if (c.status == kUsageErrorStatus) {
        EXPECT_THAT(outcome.diagnostics, ::testing::HasSubstr("lumivant --help"));
      }
    } else {
      EXPECT_EQ(outcome.diagnostics, "");
    }
    EXPECT_EQ(host.log.calls, c.calls);
    if (!c.calls.empty()) {
      EXPECT_EQ(host.claimedApplicationId, "org.example.Lumivant.test");
    }
    EXPECT_EQ(readFile(executable), c.executableHolds);
    EXPECT_EQ(swapLines.size(), c.executableHolds == kPreviousShell ? 1u : 0u);
    EXPECT_EQ(launch.takeStartConfirmation() != nullptr, c.relaunchedBySwap);
    if (c.relaunchedBySwap) {
      EXPECT_EQ(std::getenv(kStartConfirmationVariable), nullptr) << "taken, for no child";
    }
  }
}

}  // namespace
}  // namespace lumivant
