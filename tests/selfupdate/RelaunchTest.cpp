#include "selfupdate/Relaunch.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "selfupdate/RelaunchedShell.h"
#include "selfupdate/ShellSwapLog.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::readFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::waitForFile;
using testing::writeFile;

void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms(0755));
}

// A script that reports, before it opens anything itself, how it was started.
std::string reportingScript(const std::string& report) {
  return "read -r _ _ _ _ _ session _ < /proc/$$/stat\n"
         "if [ -e /proc/$$/fd/$PROBE_FD ]; then leaked=yes; else leaked=no; fi\n"
         "blocked=$(grep SigBlk /proc/$$/status)\n"
         "{ echo \"arguments=$#\"; echo \"first=$1\"; echo \"pid=$$\"; echo \"session=$session\";\n"
         "  echo \"leaked=$leaked\"; echo \"env=$PROBE_VALUE\"; echo \"$blocked\"; } > '" +
         report + ".tmp'\nmv '" + report + ".tmp' '" + report + "'\n";
}

class RelaunchTest : public ::testing::Test {
 protected:
  TempDir temp;
};

TEST_F(RelaunchTest, StartsADetachedProcessThatInheritsOnlyTheEnvironment) {
  const std::string program = temp / "probe";
  const std::string report = temp / "report";
  writeScript(program, reportingScript(report));

  // A descriptor the toolkit might have left inheritable, and a blocked signal.
  const int leaky = ::open(program.c_str(), O_RDONLY);
  ASSERT_GE(leaky, 3);
  ScopedEnv fd("PROBE_FD", std::to_string(leaky));
  ScopedEnv value("PROBE_VALUE", "inherited");
  sigset_t usr1, before;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &usr1, &before);

  const std::optional<pid_t> pid = startDetached(program, {program});

  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  ::close(leaky);
  ASSERT_TRUE(pid);
  ASSERT_TRUE(waitForFile(report));
  ASSERT_EQ(waitpid(*pid, nullptr, 0), *pid);

  const std::string text = readFile(report);
  EXPECT_THAT(text, HasSubstr("arguments=0\n"));
  EXPECT_THAT(text, HasSubstr("session=" + std::to_string(*pid) + "\n")) << "its own session";
  EXPECT_THAT(text, HasSubstr("leaked=no\n"));
  EXPECT_THAT(text, HasSubstr("env=inherited\n"));
  EXPECT_THAT(text, HasSubstr("SigBlk:\t0000000000000000\n"));
}

TEST_F(RelaunchTest, RelaunchedShellThatSaysItStartedIsLetGo) {
  // It answers on descriptor 3, as the variable says, and runs on.
  writeScript(temp / "Bundle/Lumivant",
              "[ \"$1\" = --gapplication-replace ] || exit 9\n"
              "printf S >&$LUMIVANT_START_CONFIRMATION_FD\nexec sleep 60\n");
  const std::unique_ptr<RelaunchedShell> shell = relaunchBundle(temp / "Bundle");
  const StartReport report = shell->awaitStart();
  EXPECT_TRUE(report.started) << report.whatHappened;
  EXPECT_EQ(::kill(shell->pid(), 0), 0) << "it runs on";
  ::kill(shell->pid(), SIGKILL);
  waitpid(shell->pid(), nullptr, 0);
}

TEST_F(RelaunchTest, RelaunchedShellThatEndsOrStaysSilentIsReportedAndStopped) {
  writeScript(temp / "Ends/Lumivant", "exit 4\n");
  EXPECT_EQ(relaunchBundle(temp / "Ends")->awaitStart().whatHappened,
            "it exited with status 4 before it showed its window");

  writeScript(temp / "Silent/Lumivant", "exec sleep 60\n");
  const std::unique_ptr<RelaunchedShell> silent = relaunchBundle(temp / "Silent");
  EXPECT_EQ(silent->awaitStart(std::chrono::milliseconds(300)).whatHappened,
            "it did not say within 300 ms that it showed its window; it was stopped");
  EXPECT_NE(::kill(silent->pid(), 0), 0) << "killed and reaped";

  EXPECT_EQ(relaunchBundle(temp / "NoBundle")->awaitStart().whatHappened,
            "it could not be started: No such file or directory");
}

TEST_F(RelaunchTest, StartConfirmationTakesOnlyASocketAndTellsWhenTheRelauncherEnded) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  ::fcntl(ends[1], F_SETFD, 0);
  ScopedEnv named(kStartConfirmationVariable, std::to_string(ends[1]));
  const std::shared_ptr<StartConfirmation> confirmation = StartConfirmation::takeFromEnvironment();
  ASSERT_TRUE(confirmation);
  EXPECT_EQ(std::getenv(kStartConfirmationVariable), nullptr) << "no child inherits it";
  EXPECT_EQ(::fcntl(ends[1], F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);

  confirmation->confirm();
  char word = 0;
  EXPECT_EQ(::read(ends[0], &word, 1), 1);
  EXPECT_EQ(word, kStartedMessage);
  EXPECT_FALSE(confirmation->awaitRelauncherEnd(std::chrono::milliseconds(50)));
  ::close(ends[0]);
  EXPECT_TRUE(confirmation->awaitRelauncherEnd(std::chrono::seconds(5)));

  // A stray variable naming a descriptor that is no socket adopts nothing.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ScopedEnv stray(kStartConfirmationVariable, std::to_string(pipeEnds[0]));
  EXPECT_EQ(StartConfirmation::takeFromEnvironment(), nullptr);
  EXPECT_EQ(::fcntl(pipeEnds[0], F_GETFD), 0) << "left open, as it was";
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(ShellSwapLogTest, WritesOneLineToStandardErrorAfterAProcessPrefix) {
  TempDir temp;
  const std::string captured = temp / "stderr";
  const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(file, STDERR_FILENO);
  logShellSwap("SHELL-SWAP skip: 载荷里的壳就是我");
  logShellSwap("SHELL-SWAP skip: payload 100% 不比我（1.0）新");
  // A version or path with a line break cannot start a line of its own.
  logShellSwap("SHELL-SWAP skip: payload 9\nSHELL-SWAP done: 1 → 9\r\x1b[2K 不比我（1.0\t）新");
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(file);

  const std::regex expected("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} " +
                            std::string(program_invocation_short_name) + "\\[" +
                            std::to_string(getpid()) +
                            ":[0-9a-f]+\\] SHELL-SWAP skip: 载荷里的壳就是我\n"
                            "[^\n]+\\] SHELL-SWAP skip: payload 100% 不比我（1\\.0）新\n"
                            "[^\n]+\\] SHELL-SWAP skip: payload 9\\\\nSHELL-SWAP done: 1 → "
                            "9\\\\r\\\\x1b\\[2K 不比我（1\\.0\\\\t）新\n");
  const std::string text = readFile(captured);
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

}  // namespace
}  // namespace lumivant
