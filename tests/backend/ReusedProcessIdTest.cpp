// A backend that ended before it was ready, whose process id and so whose
// process group id the system has since given to an unrelated program leading
// a group of its own: quitting leaves that program and its worker alone. The
// reuse is forced in a private PID namespace, where root can set the next id.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/BackendLaunch.h"

extern char** environ;

namespace lumivant {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

constexpr char kInsideVariable[] = "LUMIVANT_IN_PRIVATE_PID_NAMESPACE";

// Runs the current test again, alone, as the first process of a private PID
// namespace with its own /proc.
void rerunInPrivatePidNamespace() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const ScopedEnv inside(kInsideVariable, "1");
  const std::string command = std::string("unshare --pid --fork --mount-proc '") + self +
                              "' --gtest_filter=" + test->test_suite_name() + "." + test->name();
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// Spawns "sh -c <script>" leading a session and process group of its own.
pid_t spawnGroupLeader(const char* script) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const char* argv[] = {"sh", "-c", script, nullptr};
  pid_t pid = -1;
  const int error =
      posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

std::vector<pid_t> childrenOf(pid_t pid) {
  std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  for (pid_t child; list >> child;) children.push_back(child);
  return children;
}

bool runsUnsignalled(pid_t pid) {
  const auto stat = readProcStat(pid);
  return stat && stat->state != 'Z';
}

TEST(ReusedProcessIdTest, QuittingLeavesAGroupThatWasGivenTheEndedBackendsIdAlone) {
  if (!std::getenv(kInsideVariable)) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can set the next process id";
    rerunInPrivatePidNamespace();
    return;
  }
  TempDir root;
  const ScopedEnv mode("LUMIVANT_TEST_CHILD", "exit-at-once");  // not a mode: exits at once
  LaunchedBackends launched;
  auto backend = std::make_shared<Backend>(LUMIVANT_TEST_CHILD, root / "logs");
  ASSERT_TRUE(launched.admit(backend));
  backend->start();
  const std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure && failure->kind() == ShellError::Kind::backendExited);
  const pid_t reaped = testing::testChildPid(backend->logPath(), "exit-at-once").value();

  {
    std::ofstream next("/proc/sys/kernel/ns_last_pid");
    next << reaped - 1;
  }
  const pid_t leader = spawnGroupLeader("sleep 300 & wait");
  ASSERT_EQ(leader, reaped) << "the next process id could not be set";
  std::vector<pid_t> workers;
  ASSERT_TRUE(testing::waitFor([&] { return !(workers = childrenOf(leader)).empty(); }));
  ASSERT_EQ(getpgid(workers[0]), reaped);

  launched.stopAll();
  EXPECT_TRUE(runsUnsignalled(leader));
  EXPECT_TRUE(runsUnsignalled(workers[0]));

  ::kill(-leader, SIGKILL);
  waitpid(leader, nullptr, 0);
}

}  // namespace
}  // namespace lumivant
