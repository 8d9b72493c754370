// A swapped-in shell on probation, with a real bundle, ledger and launches:
// the launches are processes whose image is the bundle's executable, and they
// end, crash and hang for real.

#include "selfupdate/ShellProbation.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <future>
#include <thread>

#include "base/UniqueFd.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/StagedSwap.h"
#include "support/TempDir.h"

extern char** environ;

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::readFile;
using testing::writeFile;

// One run of the launch stand-in, its standard output read line by line.
class Launch {
 public:
  Launch(const std::string& program, const std::string& ledger, std::vector<std::string> steps) {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    output_ = UniqueFd(ends[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<std::string> arguments = {program, ledger};
    arguments.insert(arguments.end(), steps.begin(), steps.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
  }
  ~Launch() {
    if (!ended_) {
      ::kill(pid_, SIGKILL);
      (void)end();
    }
  }

  // The next line it prints, waiting up to 30 s; empty at its end.
  std::string nextLine() {
    for (;;) {
      if (const size_t newline = pending_.find('\n'); newline != std::string::npos) {
        std::string line = pending_.substr(0, newline);
        pending_.erase(0, newline + 1);
        return line;
      }
      pollfd readable{output_.get(), POLLIN, 0};
      if (::poll(&readable, 1, 30'000) <= 0) return {};
      char buffer[512];
      const ssize_t count = ::read(output_.get(), buffer, sizeof buffer);
      if (count <= 0) return {};
      pending_.append(buffer, static_cast<size_t>(count));
    }
  }
  // Every line up to its end.
  std::vector<std::string> rest() {
    std::vector<std::string> lines;
    for (std::string line = nextLine(); !line.empty(); line = nextLine()) lines.push_back(line);
    return lines;
  }
  // Its wait status once it has ended.
  int end() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    return status;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  UniqueFd output_;
  std::string pending_;
  bool ended_ = false;
};

class ShellProbationTest : public ::testing::Test {
 protected:
  testing::TempDir temp;
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string previous = temp / "Lumivant/Lumivant.old";
  const std::string ledger = temp / "state/shell-swaps.json";
  // Both run: the stand-in with bytes after its end that tell them apart.
  const std::string oldBytes = readFile(PROBATION_LAUNCH) + "\nprevious shell";
  const std::string newBytes = readFile(PROBATION_LAUNCH) + "\nnew shell";
  std::string newSha;
  std::vector<std::string> lines;

  // What a swap leaves: the new shell in place, the previous one beside it,
  // and the new one's probation in the ledger.
  void SetUp() override {
    writeFile(previous, oldBytes);
    writeFile(executable, newBytes);
    fs::permissions(executable, fs::perms(0755));
    fs::permissions(previous, fs::perms(0755));
    newSha = *sha256(executable);
    putOnProbation(Probation{"1.3", newSha, *identityOfFile(executable), 0, {}});
  }

  void putOnProbation(std::optional<Probation> probation) {
    std::optional<SwapLedger::Held> held = SwapLedger(ledger).hold(std::chrono::seconds(5));
    ASSERT_TRUE(held);
    held->record(executable).probation = std::move(probation);
    ASSERT_TRUE(held->write());
  }
  ShellSwapRecord record() const { return SwapLedger(ledger).peek(executable); }

  Launch launch(std::vector<std::string> steps) {
    return Launch(executable, ledger, std::move(steps));
  }
  // The judgement of a launch made from this process, whose image is no shell.
  ShellProbation::Verdict judge(std::chrono::milliseconds startLimit = kProbationStartLimit) {
    SwapServices services;
    services.log = [this](const std::string& line) { lines.push_back(line); };
    return ShellProbation(executable, ledger, services, startLimit).judgeLaunch();
  }
};

TEST_F(ShellProbationTest, ThreeLaunchesThatShowedTheirPageAndQuitProveTheShell) {
  Launch shy = launch({"judge", "begin", "window", "end"});
  EXPECT_THAT(shy.rest(), ElementsAre("go on")) << "no page: it does not count";
  EXPECT_EQ(shy.end(), 0);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(record().probation->cleanLaunches, n - 1);
    Launch proving = launch({"judge", "begin", "window", "page", "end"});
    const std::vector<std::string> output = proving.rest();
    EXPECT_EQ(proving.end(), 0);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0], "go on");
    if (n < 3) {
      EXPECT_EQ(output[1], "SHELL-SWAP probation: payload 1.3 试用中，已正常退出 " +
                               std::to_string(n) + " 次（共需 3 次）");
      EXPECT_EQ(readFile(previous), oldBytes);
    } else {
      EXPECT_EQ(output[1], "SHELL-SWAP confirmed: payload 1.3 已通过试用，删除旧壳");
    }
  }
  EXPECT_FALSE(fs::exists(previous));
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_TRUE(record().empty()) << "nothing left to keep about this executable";
}

TEST_F(ShellProbationTest, ALaunchThatCrashedAfterItsWindowPutsThePreviousShellBackAtTheNext) {
  Launch crashed = launch({"begin", "window", "page", "crash"});
  EXPECT_TRUE(WIFSIGNALED(crashed.end()));
  EXPECT_EQ(judge(), ShellProbation::Verdict::runExecutableInstead);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "SHELL-SWAP failed, rolled back: the new shell (payload 1.3) failed in its "
            "probation: its launch as process " +
                std::to_string(crashed.pid()) + " ended without quitting after its window showed");
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_EQ(fs::status(executable).permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_FALSE(fs::exists(previous));
  const ShellSwapRecord after = record();
  EXPECT_FALSE(after.probation);
  ASSERT_EQ(after.failed.size(), 1u);
  EXPECT_EQ(after.failed[0].version, "1.3");
  EXPECT_TRUE(after.hasFailed(newSha));

  // The shell that swapped hears of the failed start only now: it is done.
  SwapServices services;
  services.log = [this](const std::string& line) { lines.push_back(line); };
  ShellProbation(executable, ledger, services)
      .newShellDidNotStart(newSha, "it was killed by signal 9 (Killed)");
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_EQ(record().failed.size(), 1u);
}

TEST_F(ShellProbationTest, ALaunchWithoutItsWindowPastTheStartLimitIsEndedAndThePreviousShellBack) {
  Launch hung = launch({"begin", "ready", "hang"});
  ASSERT_EQ(hung.nextLine(), "ready");
  // The launch judged from here waits for it until the limit, then ends it.
  EXPECT_EQ(judge(std::chrono::seconds(1)), ShellProbation::Verdict::runExecutableInstead);
  const int status = hung.end();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "SHELL-SWAP failed, rolled back: the new shell (payload 1.3) failed in its "
            "probation: its launch as process " +
                std::to_string(hung.pid()) + " did not show its window within 1 s and was stopped");
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_FALSE(fs::exists(previous));
}

// A launch that had no display to show on ends before its window; that is
// not the shell's fault, and the shell on probation stays.
TEST_F(ShellProbationTest, ALaunchWithdrawnBeforeItsWindowCountsNeitherWay) {
  Launch withdrawn = launch({"judge", "begin", "withdraw"});
  EXPECT_THAT(withdrawn.rest(), ElementsAre("go on"));
  EXPECT_EQ(withdrawn.end(), 0);
  EXPECT_EQ(judge(), ShellProbation::Verdict::runExecutableInstead)
      << "this process's image is no shell";
  EXPECT_THAT(lines, IsEmpty());
  EXPECT_EQ(readFile(executable), newBytes);
  const ShellSwapRecord after = record();
  ASSERT_TRUE(after.probation);
  EXPECT_THAT(after.probation->launches, IsEmpty());
  EXPECT_EQ(after.probation->cleanLaunches, 0);
  EXPECT_THAT(after.failed, IsEmpty());
}

// Another launch may hold the ledger for a while (a swap tries its shell under
// it): the marks of a running launch wait for it rather than be lost, which
// would have the next launch take this one for a hung shell.
TEST_F(ShellProbationTest, AWindowIsMarkedEvenWhenTheLedgerIsBusyForSeconds) {
  Launch running = launch({"judge", "begin", "ready", "await", "window", "page", "ready", "hang"});
  ASSERT_EQ(running.nextLine(), "go on");
  ASSERT_EQ(running.nextLine(), "ready");
  {
    std::optional<SwapLedger::Held> busy = SwapLedger(ledger).hold(std::chrono::seconds(5));
    ASSERT_TRUE(busy);
    writeFile(ledger + ".go", "");
    // Longer than a launch's end waits for the ledger.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  }
  ASSERT_EQ(running.nextLine(), "ready");
  const ShellSwapRecord after = record();
  ASSERT_EQ(after.probation->launches.size(), 1u);
  EXPECT_TRUE(after.probation->launches[0].window);
  EXPECT_TRUE(after.probation->launches[0].page);
}

TEST_F(ShellProbationTest, TwoLaunchesAfterACrashPutThePreviousShellBackOnceAndBothRunIt) {
  Launch crashed = launch({"begin", "window", "crash"});
  crashed.end();
  // Both images are the failed shell's; each sees the previous shell back.
  Launch first = launch({"judge"});
  Launch second = launch({"judge"});
  std::vector<std::string> output = first.rest();
  const std::vector<std::string> more = second.rest();
  output.insert(output.end(), more.begin(), more.end());
  EXPECT_EQ(first.end(), 0);
  EXPECT_EQ(second.end(), 0);
  std::sort(output.begin(), output.end());
  ASSERT_EQ(output.size(), 3u) << ::testing::PrintToString(output);
  EXPECT_THAT(output[0], HasSubstr("SHELL-SWAP failed, rolled back: "));
  EXPECT_EQ(output[1], "run the executable instead");
  EXPECT_EQ(output[2], "run the executable instead");
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_FALSE(fs::exists(previous));
  EXPECT_EQ(record().failed.size(), 1u);
}

TEST_F(ShellProbationTest, ARunningLaunchWithItsWindowAndOneOfAnEarlierBootAreNoFailures) {
  Launch running = launch({"begin", "window", "ready", "hang"});
  ASSERT_EQ(running.nextLine(), "ready");
  {
    std::optional<SwapLedger::Held> held = SwapLedger(ledger).hold(std::chrono::seconds(5));
    ASSERT_TRUE(held);
    held->record(executable)
        .probation->launches.push_back({LaunchStamp{"an earlier boot", 4242, 17}, false, false});
    ASSERT_TRUE(held->write());
  }
  EXPECT_EQ(judge(std::chrono::seconds(1)), ShellProbation::Verdict::runExecutableInstead)
      << "this process's image is no shell";
  EXPECT_THAT(lines, IsEmpty());
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_EQ(readFile(previous), oldBytes);
  ASSERT_EQ(record().probation->launches.size(), 1u) << "the earlier boot's launch is forgotten";
  EXPECT_EQ(record().probation->launches[0].stamp.pid, running.pid());
}

TEST_F(ShellProbationTest, APreviousShellThatNoProbationAccountsForIsSettled) {
  putOnProbation(std::nullopt);

  // The shell in place, unknown to the ledger, goes on probation itself.
  EXPECT_EQ(judge(), ShellProbation::Verdict::runExecutableInstead);
  EXPECT_THAT(lines,
              ElementsAre("SHELL-SWAP probation: " + previous + " 还在，现在的壳从头开始试用"));
  ASSERT_TRUE(record().probation);
  EXPECT_EQ(record().probation->version, "");
  EXPECT_EQ(record().probation->file, identityOfFile(executable));
  EXPECT_EQ(readFile(previous), oldBytes);

  // A copy of the shell in place is nothing to go back to.
  lines.clear();
  putOnProbation(std::nullopt);
  writeFile(previous, newBytes);
  judge();
  EXPECT_THAT(lines, IsEmpty());
  EXPECT_FALSE(fs::exists(previous));
  EXPECT_FALSE(record().probation);

  // A shell in place whose bytes failed before goes back at once.
  writeFile(previous, oldBytes);
  {
    std::optional<SwapLedger::Held> held = SwapLedger(ledger).hold(std::chrono::seconds(5));
    held->record(executable).addFailed({"1.3", newSha, "it crashed"});
    ASSERT_TRUE(held->write());
  }
  judge();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "SHELL-SWAP failed, rolled back: the new shell (payload 1.3) is one that "
            "failed before: it crashed");
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_FALSE(fs::exists(previous));
}

}  // namespace
}  // namespace lumivant
