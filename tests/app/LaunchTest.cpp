// The launch up to the window, as one table: what the host is asked, in which
// order, and what it is to do with the process, for each way a launch finds
// its arguments, the data root's running shell and the files a swap left.

#include "app/Launch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>

#include "app/CommandLine.h"
#include "base/UniqueFd.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"
#include "selfupdate/UnconfirmedShell.h"
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
  // What a swap whose start nobody confirmed left beside the executable.
  bool previousShellBeside = false;
  bool trialMarked = false;

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
  return {
      {.name = "a version question is answered before anything else",
       .arguments = {"Lumivant", kPrintVersionArgument},
       .previousShellBeside = true,
       .trialMarked = true,
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
      {.name = "a launch that hands over leaves a trial to the running shell",
       .arguments = plain,
       .anotherShellRuns = true,
       .previousShellBeside = true,
       .trialMarked = true,
       .action = Action::exit,
       .calls = {"claimInstance", "activateRunningInstance"}},
      {.name = "a swapped-in shell nobody heard start gets one launch",
       .arguments = plain,
       .previousShellBeside = true,
       .calls = runs},
      {.name = "after a launch that never showed its window the previous shell runs",
       .arguments = plain,
       .previousShellBeside = true,
       .trialMarked = true,
       // The recording host's exec fails, so this process goes on in its place.
       .calls = {"claimInstance", "executeInstead " + executable, "openDisplay",
                 "awaitReplacedInstance"},
       .executableHolds = kPreviousShell},
      {.name = "a shell relaunched by a swap is judged by the shell that swapped",
       .arguments = replacing,
       .relaunchedBySwap = true,
       .previousShellBeside = true,
       .trialMarked = true,
       // Nor can it wait for that shell to go: that one goes once this one's window shows.
       .calls = {"claimInstance replacing the running shell", "openDisplay"}},
      {.name = "a takeover that nobody waits for waits for the shell it replaces",
       .arguments = replacing,
       .calls = {"claimInstance replacing the running shell", "openDisplay",
                 "awaitReplacedInstance"}},
  };
}

TEST(LaunchTest, EachWayALaunchFindsThingsLeadsToItsOutcome) {
  testing::TempDir dir;
  const std::string executable = dir / "bundle/Lumivant";
  for (const Case& c : cases(executable)) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "bundle");
    writeFile(executable, kNewShell);
    if (c.previousShellBeside) writeFile(previousShellPath(executable), kPreviousShell);
    if (c.trialMarked) writeFile(trialMarkPath(executable), "");
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

    Launch launch(host, executable, "org.example.Lumivant.test");
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
      EXPECT_THAT(outcome.diagnostics, ::testing::HasSubstr("lumivant --help"));
    } else {
      EXPECT_EQ(outcome.diagnostics, "");
    }
    EXPECT_EQ(host.log.calls, c.calls);
    if (!c.calls.empty()) {
      EXPECT_EQ(host.claimedApplicationId, "org.example.Lumivant.test");
    }
    EXPECT_EQ(readFile(executable), c.executableHolds);
    EXPECT_EQ(launch.takeStartConfirmation() != nullptr, c.relaunchedBySwap);
    if (c.relaunchedBySwap) {
      EXPECT_EQ(std::getenv(kStartConfirmationVariable), nullptr) << "taken, for no child";
    }
  }
}

}  // namespace
}  // namespace lumivant
