#include "selfupdate/Relaunch.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "selfupdate/ShellSwapLog.h"
#include "selfupdate/StagedSwap.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::readFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeFile;

// Waits for a file that another process writes by renaming it into place.
bool waitForFile(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

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

TEST_F(RelaunchTest, RelaunchStartsTheBundlesExecutableAndIgnoresAMissingOne) {
  const std::string report = temp / "report";
  writeScript(temp / "Bundle/Lumivant", reportingScript(report));
  ScopedEnv fd("PROBE_FD", "999");
  relaunchBundle(temp / "Bundle");
  ASSERT_TRUE(waitForFile(report));
  EXPECT_THAT(readFile(report), HasSubstr("arguments=1\nfirst=--gapplication-replace\n"));
  waitpid(-1, nullptr, 0);

  relaunchBundle(temp / "NoBundle");  // nothing to start, nothing reported
  EXPECT_EQ(startDetached(temp / "NoBundle/Lumivant", {"x"}), std::nullopt);
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
