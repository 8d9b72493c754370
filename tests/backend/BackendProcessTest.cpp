// The backend's child process, with a small program of the tests' own standing
// in for the interpreter: command line, environment, log, exit reporting,
// stop, and the descriptors the child inherits.

#include <fcntl.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/PlatformError.h"
#include "base/UniqueFd.h"

extern char** environ;

namespace lumivant {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ScopedEnv;
using ::testing::StartsWith;
using testing::TempDir;

std::vector<std::string> splitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  return parts;
}

std::map<std::string, std::string> asMap(const std::vector<std::string>& entries) {
  std::map<std::string, std::string> map;
  for (const std::string& entry : entries) {
    const size_t equals = entry.find('=');
    map[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
  }
  return map;
}

std::map<std::string, std::string> ourEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
  return asMap(entries);
}

// Captured by an exit callback alone, it tells when the Backend let go of the
// callback: its promise is kept when the last copy of the callback goes.
struct ReleaseSignal {
  std::promise<void> promise;
  ~ReleaseSignal() { promise.set_value(); }
};

// A token for a callback to hold, and the future that says it was released.
std::pair<std::shared_ptr<ReleaseSignal>, std::future<void>> releaseToken() {
  auto token = std::make_shared<ReleaseSignal>();
  std::future<void> released = token->promise.get_future();
  return {std::move(token), std::move(released)};
}

class BackendProcessTest : public ::testing::Test {
 protected:
  std::shared_ptr<Backend> makeBackend(const std::string& mode) {
    modeEnv_.emplace("LUMIVANT_TEST_CHILD", mode);
    return std::make_shared<Backend>(LUMIVANT_TEST_CHILD, logs.str());
  }
  std::string logPath() const { return logs / "backend.log"; }
  pid_t childPid(const std::string& mode) {
    std::optional<pid_t> pid;
    EXPECT_TRUE(testing::waitFor(
        [&] { return (pid = testing::testChildPid(logPath(), mode)).has_value(); }));
    return pid.value_or(-1);
  }
  // Opens the FIFO the "command" child reads from and sends it one command.
  void tell(const std::string& command) {
    std::ofstream fifo(fifoPath);
    fifo << command << std::endl;
  }

  TempDir root;
  TempDir logs;
  std::string fifoPath = root / "commands";

 private:
  std::optional<ScopedEnv> modeEnv_;
};

TEST_F(BackendProcessTest, UrlCarriesTheChosenPort) {
  auto backend = makeBackend("record");
  EXPECT_NE(backend->port(), 0);
  EXPECT_EQ(backend->url().absoluteString(),
            "http://127.0.0.1:" + std::to_string(backend->port()) + "/");
  EXPECT_EQ(backend->logPath(), logs / "backend.log");
}

TEST_F(BackendProcessTest, ChildSeesTheExactArgumentsAndTheShellsEnvironment) {
  ScopedEnv unbuffered("PYTHONUNBUFFERED", "0");
  ScopedEnv bytecode("PYTHONDONTWRITEBYTECODE", "");
  // As a shell started by another shell's backend would have it.
  ScopedEnv outerShell("LUMIVANT_SHELL_PID", "1");
  ScopedEnv spaced("LUMIVANT_TEST_SPACED", " a = b ;\tc ");
  ScopedEnv record("LUMIVANT_TEST_CHILD_RECORD", root / "seen");
  auto backend = makeBackend("record");
  std::map<std::string, std::string> expected = ourEnvironment();
  backend->start();
  // The child exits by itself right away: the wait sees that, with status 0.
  std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::backendExited);
  EXPECT_EQ(failure->code(), 0);

  EXPECT_THAT(splitAtNul(testing::readFile(root / "seen.argv")),
              ElementsAre(LUMIVANT_TEST_CHILD, "-B", "-m", "app.launcher", "start", "--port",
                          std::to_string(backend->port()), "--no-browser", "--exit-with-parent"));
  expected["PYTHONUNBUFFERED"] = "1";
  expected["PYTHONDONTWRITEBYTECODE"] = "1";
  expected["LUMIVANT_SHELL_PID"] = std::to_string(getpid());
  expected["LUMIVANT_BACKEND_SECRET"] = backend->secret();
  // The entry that finds the child's descendants again, different for every Backend.
  const std::string& marker = backend->treeMarker();
  expected[marker.substr(0, marker.find('='))] = marker.substr(marker.find('=') + 1);
  EXPECT_NE(marker, makeBackend("record")->treeMarker());
  const std::vector<std::string> seen = splitAtNul(testing::readFile(root / "seen.env"));
  EXPECT_EQ(asMap(seen), expected);
  EXPECT_EQ(seen.size(), expected.size()) << "no variable twice";
}

TEST_F(BackendProcessTest, BothOutputStreamsAreAppendedToTheLogRunAfterRun) {
  testing::writeFile(logPath(), "an earlier run\n");
  for (int run = 0; run < 2; ++run) {
    ScopedEnv record("LUMIVANT_TEST_CHILD_RECORD", root / "seen");
    auto backend = makeBackend("record");
    backend->start();
    ASSERT_TRUE(backend->waitUntilReady(30));
  }
  const std::string log = testing::readFile(logPath());
  EXPECT_THAT(log, StartsWith("an earlier run\ntest child record pid="));
  EXPECT_EQ(testing::occurrences(log, "test child out\ntest child err\n"), 2u);
  auto backend = makeBackend("record");
  EXPECT_THAT(backend->tailOfLog(), StartsWith("an earlier run\ntest child record pid="));
}

struct ExitCase {
  std::string command;
  ChildExit::Reason reason;
  int status;  // the exit status, or the signal's number
};

class BackendExitTest : public BackendProcessTest,
                        public ::testing::WithParamInterface<ExitCase> {};

TEST_P(BackendExitTest, EndIsReportedOnceAndTheCallbackIsReleased) {
  ASSERT_EQ(mkfifo(fifoPath.c_str(), 0600), 0);
  ScopedEnv fifo("LUMIVANT_TEST_CHILD_FIFO", fifoPath);
  auto backend = makeBackend("command");
  backend->start();

  std::promise<ChildExit> reported;
  std::atomic<int> calls{0};
  auto [token, released] = releaseToken();
  // Holds the Backend strongly, as the start-up flow's handler does.
  backend->setOnExit([&reported, &calls, backend, token = std::move(token)](ChildExit exit) {
    if (calls++ == 0) reported.set_value(exit);
  });
  tell(GetParam().command);

  std::future<ChildExit> exit = reported.get_future();
  ASSERT_EQ(exit.wait_for(20s), std::future_status::ready);
  const ChildExit ended = exit.get();
  EXPECT_EQ(ended.reason, GetParam().reason);
  EXPECT_EQ(ended.status, GetParam().status);
  ASSERT_EQ(released.wait_for(20s), std::future_status::ready) << "the cycle is broken";
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(testing::waitFor([&] { return backend.use_count() == 1; }))
      << "nothing else holds it";
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, BackendExitTest,
    ::testing::Values(ExitCase{"exit 3", ChildExit::Reason::exit, 3},
                      ExitCase{"exit 0", ChildExit::Reason::exit, 0},
                      ExitCase{"exit 1", ChildExit::Reason::exit, 1},
                      ExitCase{"exit 255", ChildExit::Reason::exit, 255},
                      ExitCase{"signal 9", ChildExit::Reason::uncaughtSignal, 9},
                      ExitCase{"signal 15", ChildExit::Reason::uncaughtSignal, 15}));

TEST_F(BackendProcessTest, WaitReportsTheSignalNumberOfAChildKilledBeforeReady) {
  ASSERT_EQ(mkfifo(fifoPath.c_str(), 0600), 0);
  ScopedEnv fifo("LUMIVANT_TEST_CHILD_FIFO", fifoPath);
  auto backend = makeBackend("command");
  backend->start();
  tell("signal 9");
  std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::backendExited);
  EXPECT_EQ(failure->code(), 9);
}

TEST_F(BackendProcessTest, NothingIsReportedAfterStop) {
  auto backend = makeBackend("pause");
  backend->start();
  const pid_t pid = childPid("pause");
  std::atomic<int> calls{0};
  auto [token, released] = releaseToken();
  backend->setOnExit([&calls, backend, token = std::move(token)](ChildExit) { ++calls; });

  backend->stop();
  EXPECT_EQ(released.wait_for(0s), std::future_status::ready) << "stop() let go of the callback";
  EXPECT_TRUE(testing::waitFor([&] { return !testing::isOurChild(pid); }))
      << "the child was reaped";
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(testing::waitFor([&] { return backend.use_count() == 1; }))
      << "nothing else holds it";

  // A callback set now is dropped at once; a second stop does nothing more.
  auto [late, lateReleased] = releaseToken();
  backend->setOnExit([&calls, backend, late = std::move(late)](ChildExit) { ++calls; });
  EXPECT_EQ(lateReleased.wait_for(0s), std::future_status::ready);
  backend->stop();
  EXPECT_EQ(calls, 0);
}

TEST_F(BackendProcessTest, CallbackSetAfterTheChildEndedIsDroppedUnheard) {
  ScopedEnv record("LUMIVANT_TEST_CHILD_RECORD", root / "seen");
  auto backend = makeBackend("record");
  backend->start();
  ASSERT_TRUE(backend->waitUntilReady(30));  // the child has ended and was reported to nobody
  auto [token, released] = releaseToken();
  std::atomic<int> calls{0};
  backend->setOnExit([&calls, backend, token = std::move(token)](ChildExit) { ++calls; });
  EXPECT_EQ(released.wait_for(0s), std::future_status::ready);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(testing::waitFor([&] { return backend.use_count() == 1; }))
      << "nothing else holds it";
}

TEST_F(BackendProcessTest, ChildIgnoringSigtermIsKilledAfterTheGracePeriod) {
  auto backend = makeBackend("ignore-term");
  backend->start();
  ASSERT_TRUE(
      testing::waitFor([&] { return testing::fileContains(logPath(), "ignoring SIGTERM"); }));
  const pid_t pid = childPid("ignore-term");

  const auto began = std::chrono::steady_clock::now();
  backend->stop();
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_GE(took, 1900ms) << "SIGTERM is given its 2 seconds";
  EXPECT_LT(took, 15s) << "stop() returns once SIGKILL is sent";

  // The wait reports the killing signal's number.
  std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::backendExited);
  EXPECT_EQ(failure->code(), SIGKILL);
  EXPECT_TRUE(testing::waitFor([&] { return !testing::isOurChild(pid); }));
}

TEST_F(BackendProcessTest, StopOfAChildThatEndsOnSigtermReturnsWithoutTheGracePeriod) {
  auto backend = makeBackend("pause");
  backend->start();
  const pid_t pid = childPid("pause");
  const auto began = std::chrono::steady_clock::now();
  backend->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1900ms);
  std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code(), SIGTERM);
  EXPECT_TRUE(testing::waitFor([&] { return !testing::isOurChild(pid); }));
}

TEST_F(BackendProcessTest, ChildInheritsOnlyItsStandardDescriptors) {
  // Descriptors of the kinds a toolkit and a web engine leave open without
  // close-on-exec: a pipe, an eventfd, a file.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  UniqueFd pipeRead(pipeFds[0]), pipeWrite(pipeFds[1]);
  UniqueFd event(eventfd(0, 0));
  UniqueFd file(open((root / "held-open").c_str(), O_WRONLY | O_CREAT, 0600));
  ASSERT_TRUE(event && file);

  auto backend = makeBackend("pause");
  backend->start();
  const pid_t pid = childPid("pause");
  EXPECT_THAT(testing::openDescriptors(pid), ElementsAre(0, 1, 2));
  const std::string log = std::filesystem::canonical(logPath()).string();
  EXPECT_EQ(testing::descriptorTarget(pid, 1), log);
  EXPECT_EQ(testing::descriptorTarget(pid, 2), log);
  EXPECT_EQ(testing::descriptorTarget(pid, 0), testing::descriptorTarget(getpid(), 0));
  backend->stop();
}

TEST_F(BackendProcessTest, LogDirectoryIsCreatedWithItsParents) {
  const std::string nested = root / "a/b/logs";
  Backend backend(LUMIVANT_TEST_CHILD, nested);
  EXPECT_TRUE(std::filesystem::is_regular_file(nested + "/backend.log"));
}

TEST_F(BackendProcessTest, ConstructionFailuresNameWhatFailed) {
  testing::writeFile(root / "not-a-directory", "");
  try {
    Backend backend(LUMIVANT_TEST_CHILD, root / "not-a-directory/logs");
    FAIL() << "constructed";
  } catch (const PlatformError& error) {
    EXPECT_THAT(error.what(),
                StartsWith("无法创建日志目录 " + (root / "not-a-directory/logs") + "："));
  }
  std::filesystem::create_directories(logs / "backend.log");
  try {
    Backend backend(LUMIVANT_TEST_CHILD, logs.str());
    FAIL() << "constructed";
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()), "无法打开日志文件 " + logPath() + "：Is a directory");
  }
}

TEST_F(BackendProcessTest, LaunchFailureIsAPlatformErrorAndLeavesNothingToStop) {
  auto backend = std::make_shared<Backend>(root / "no-such-python", logs.str());
  try {
    backend->start();
    FAIL() << "started";
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()),
              "无法启动后端 " + (root / "no-such-python") + "：No such file or directory");
  }
  std::optional<ShellError> failure = backend->waitUntilReady(30);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::backendExited);
  backend->stop();
  EXPECT_TRUE(testing::ourChildren().empty());
}

}  // namespace
}  // namespace lumivant
