// The sample backend with children of every kind (plain, in a session of its
// own ignoring SIGTERM, detached from a parent that ended, the same with an
// empty environment, the same with its environment overwritten): however the
// backend ends, none of them is left, and none is left a zombie.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36's <sys/pidfd.h> lacks the extern "C" block of its other headers.
extern "C" {
#include <sys/pidfd.h>
}

#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/ReadinessProbe.h"

namespace lumivant {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

// The sample backend's sleeping children: "-c <sleeper> sample-child <kind>
// <port>" with this backend's port.
std::vector<pid_t> sampleChildren(const Backend& backend) {
  using namespace std::string_literals;
  const std::string tag = "\0"s + std::to_string(backend.port()) + "\0"s;
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string cmdline = testing::readFile(entry.path() / "cmdline");
    if (cmdline.find("\0sample-child\0"s) != std::string::npos && cmdline.ends_with(tag)) {
      found.push_back(std::stoi(name));
    }
  }
  return found;
}

// Whether the process's parent is the backend itself, told by its command line.
bool isTheBackendsChild(pid_t pid, const Backend& backend) {
  using namespace std::string_literals;
  const auto stat = readProcStat(pid);
  if (!stat) return false;
  const std::string cmdline =
      testing::readFile("/proc/" + std::to_string(stat->parent) + "/cmdline");
  return cmdline.find("\0app.launcher\0"s) != std::string::npos &&
         cmdline.find("\0--port\0"s + std::to_string(backend.port()) + "\0"s) != std::string::npos;
}

// Gone altogether: not running, and not a zombie waiting to be reaped.
bool noneExists(const std::vector<pid_t>& pids) {
  return std::all_of(pids.begin(), pids.end(),
                     [](pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; });
}

std::string describe(const std::vector<pid_t>& pids) {
  std::string text;
  for (const pid_t pid : pids) {
    const auto stat = readProcStat(pid);
    text += std::to_string(pid) +
            (stat ? std::string(" ") + stat->state + " parent " + std::to_string(stat->parent)
                  : std::string(" gone")) +
            "; ";
  }
  return text;
}

struct BackendTreeTest : ::testing::Test {
  TempDir root;
  ScopedEnv children{"SAMPLE_CHILDREN", "1"};
  std::shared_ptr<Backend> backend =
      std::make_shared<Backend>(LUMIVANT_SAMPLE_PYTHON, root / "logs");

  std::vector<pid_t> startWithChildren() {
    backend->start();
    EXPECT_EQ(backend->waitUntilReady(60), std::nullopt);
    std::vector<pid_t> pids;
    // The three that detached lost their parent and were handed to the
    // backend, not to the shell or init: all five are the backend's children.
    EXPECT_TRUE(testing::waitFor([&] {
      pids = sampleChildren(*backend);
      return pids.size() == 5 && std::all_of(pids.begin(), pids.end(), [&](pid_t pid) {
               return isTheBackendsChild(pid, *backend);
             });
    })) << testing::readFile(backend->logPath());
    // Recorded too, so that they are known after the backend ended by itself.
    EXPECT_TRUE(testing::waitFor([&] {
      const std::vector<HeldProcess> recorded = backend->recordedTree();
      return std::all_of(pids.begin(), pids.end(), [&](pid_t pid) {
        return std::any_of(recorded.begin(), recorded.end(),
                           [pid](const HeldProcess& member) { return member.key.pid == pid; });
      });
    }));
    const std::string log = testing::readFile(backend->logPath());
    for (const char* kind : {"plain", "session", "detached", "cleared", "retitled"}) {
      EXPECT_THAT(log, ::testing::HasSubstr(std::string("sample child ") + kind + " pid="));
    }
    return pids;
  }
};

TEST_F(BackendTreeTest, StopEndsTheWholeTree) {
  const std::vector<pid_t> pids = startWithChildren();
  backend->stop();
  EXPECT_TRUE(noneExists(pids)) << describe(pids);
  EXPECT_FALSE(testing::isOurChild(pids[0]));
}

TEST_F(BackendTreeTest, ExitIsReportedOnlyOnceWhatItLeftBehindHasEnded) {
  const std::vector<pid_t> pids = startWithChildren();
  std::promise<bool> leftoversGoneAtReport;
  backend->setOnExit([&](ChildExit exit) {
    EXPECT_EQ(exit.status, Backend::restartExitCode);
    leftoversGoneAtReport.set_value(noneExists(pids));
  });
  probeReadiness(backend->url().absoluteString() + "control/exit?code=3", 5,
                 testing::secretCookie(*backend));
  auto reported = leftoversGoneAtReport.get_future();
  ASSERT_EQ(reported.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_TRUE(reported.get()) << "a restarted backend would find the old one's processes: "
                              << describe(pids);
}

// Every id the test child printed as "test child <kind> pid=<pid>".
std::vector<pid_t> printedPids(const std::string& logPath, const std::string& kind) {
  const std::string log = testing::readFile(logPath);
  const std::string marker = "test child " + kind + " pid=";
  std::vector<pid_t> pids;
  for (size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at + 1)) {
    pids.push_back(static_cast<pid_t>(std::stol(log.substr(at + marker.size()))));
  }
  return pids;
}

TEST(BackendTreeEndingTest, WhatMembersStartAsTheyAreToldToStopEndsToo) {
  // The backend and its three children each start a sleeper in a session of
  // its own with an empty environment on SIGTERM, and exit: the sleepers
  // keep nothing that ties them to the tree.
  TempDir root;
  const ScopedEnv mode("LUMIVANT_TEST_CHILD", "fork-at-term");
  auto backend = std::make_shared<Backend>(LUMIVANT_TEST_CHILD, root / "logs");
  backend->start();
  ASSERT_TRUE(testing::waitFor([&] {
    return printedPids(backend->logPath(), "member").size() == 3;
  })) << testing::readFile(backend->logPath());
  backend->stop();
  const std::vector<pid_t> sleepers = printedPids(backend->logPath(), "fresh");
  EXPECT_EQ(sleepers.size(), 4u) << testing::readFile(backend->logPath());
  EXPECT_TRUE(noneExists(sleepers)) << describe(sleepers);
  // Should the test fail: a sleeper left is the test's child, so its id is still its own.
  for (const pid_t sleeper : sleepers) {
    if (testing::isOurChild(sleeper)) ::kill(sleeper, SIGKILL);
  }
}

TEST(BackendTreeEndingTest, AMemberThatEndedIsNeverTakenForTheProcessGivenItsIdSince) {
  // A process of somebody else's: a sleeper in a session of its own.
  const pid_t stranger = fork();
  if (stranger == 0) {
    setsid();
    execl("/bin/sleep", "sleep", "60", nullptr);
    _exit(127);
  }
  ASSERT_GT(stranger, 0);
  ASSERT_TRUE(testing::waitFor([&] { return readProcess(stranger, {})->state == 'S'; }));
  // A member recorded while the tree ran that has ended since. Its id and
  // start tick are the stranger's, as they are when the id is handed on
  // within the tick: only its pidfd still tells that it is not the stranger.
  const pid_t member = fork();
  if (member == 0) _exit(0);
  auto pidfd = std::make_shared<const UniqueFd>(pidfd_open(member, 0));
  ASSERT_TRUE(*pidfd);
  waitpid(member, nullptr, 0);
  const HeldProcess recorded{{stranger, readProcess(stranger, {})->startTime}, pidfd};
  // Born before the ending begins, not as it begins: the shell would take a
  // process handed to it then for one the tree started on its way out.
  ASSERT_TRUE(testing::waitFor([&] { return currentClockTick() > recorded.key.startTime; }));

  endProcessTree(
      0, "", std::chrono::milliseconds(200), [](int) {}, [] { return RootState::reaped; },
      {recorded});
  EXPECT_EQ(readProcess(stranger, {})->state, 'S') << "the stranger was left alone";
  ::kill(stranger, SIGKILL);  // still our unreaped child, so the id is still its
  waitpid(stranger, nullptr, 0);
}

TEST(BackendTreeEndingTest, ALookTakenAsTheRootEndsLeavesTheRecordWhole) {
  // Reaps orphans, as the shell does: the member is handed to this process.
  adoptOrphanedDescendants();
  int go[2];
  ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
  // The root and one member that kept nothing of it: a session of its own and
  // an empty environment. The root ends once go is closed, and stays a zombie
  // until the test reaps it, as a backend does until its watcher gets to it.
  const pid_t root = fork();
  if (root == 0) {
    if (fork() == 0) {
      setsid();
      char* const none[] = {nullptr};
      execle("/bin/sleep", "sleep", "60", nullptr, none);
      _exit(127);
    }
    close(go[1]);
    char byte;
    (void)!read(go[0], &byte, 1);
    _exit(Backend::restartExitCode);
  }
  ASSERT_GT(root, 0);
  close(go[0]);
  std::vector<HeldProcess> recorded;
  ASSERT_TRUE(testing::waitFor([&] {
    recorded = descendantsOf(root);
    return recorded.size() == 1 &&
           testing::readFile("/proc/" + std::to_string(recorded[0].key.pid) + "/comm") == "sleep\n";
  }));
  const HeldProcess member = recorded[0];

  close(go[1]);
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(root), &info, WEXITED | WNOWAIT), 0);
  // Ended, not yet reaped: the kernel has handed the member on already.
  const std::vector<HeldProcess> seen = descendantsOf(root);
  EXPECT_TRUE(seen.empty());
  ASSERT_FALSE(hasEnded(*member.pidfd));
  const std::vector<HeldProcess> record = updatedRecord(recorded, seen);
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(record[0].key, member.key);

  waitpid(root, nullptr, 0);
  endProcessTree(
      root, "LUMIVANT_BACKEND_TREE=none", std::chrono::milliseconds(2000), [](int) {},
      [] { return RootState::reaped; }, record);
  EXPECT_TRUE(hasEnded(*member.pidfd));
  EXPECT_TRUE(noneExists({member.key.pid})) << describe({member.key.pid});
  // Should the test fail: a member left is this process's child by now.
  pidfd_send_signal(member.pidfd->get(), SIGKILL, nullptr, 0);
}

}  // namespace
}  // namespace lumivant
