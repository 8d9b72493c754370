// The local start-up component with scripted backends: what it reports, on
// which thread, and what it stops.

#include "backend/LocalStartup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backend/Backend.h"
#include "base/UniqueFd.h"
#include "support/ManualMainQueue.h"
#include "support/ScriptedStarter.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::HeldWork;
using ::testing::IsEmpty;
using testing::ManualMainQueue;
using testing::ScriptedStarter;
using testing::TempDir;

struct LocalStartupTest : ::testing::Test {
  TempDir dir;
  ManualMainQueue queue;
  ScriptedStarter starter{dir};
  const LocalStartSite site{dir / "bundle/python3", dir / "data/logs", dir / "data", dir / "state"};
  std::shared_ptr<LocalStartup> startup =
      std::make_shared<LocalStartup>(queue, detachedThreadExecutor(), site, starter.function());
  std::vector<std::string> ready, failures;
  std::vector<BackendEnded> exits;

  void SetUp() override {
    startup->onReady = [this](const Url& url) { ready.push_back(url.absoluteString()); };
    startup->onFailure = [this](const MessagePage& page) { failures.push_back(messageText(page)); };
    startup->onExit = [this](const BackendEnded& ended) { exits.push_back(ended); };
  }
  void TearDown() override {
    if (startup) startup->stop();
  }
  bool becameReady() {
    return queue.runUntil([&] { return !ready.empty(); });
  }
};

TEST_F(LocalStartupTest, ReportsTheReadyBackendsAddressAndKeepsTheBackend) {
  startup->start();
  ASSERT_TRUE(becameReady());
  ASSERT_NE(startup->backend(), nullptr);
  EXPECT_THAT(ready, ElementsAre(startup->backend()->url().absoluteString()));
  EXPECT_EQ(starter.site(0).python, site.python);
  EXPECT_EQ(starter.site(0).logDirectory, site.logDirectory);
  EXPECT_THAT(failures, IsEmpty());
}

TEST_F(LocalStartupTest, TheStartRunsOnTheExecutorAndReportsOnlyOnTheMainQueue) {
  HeldWork held;
  auto driven = std::make_shared<LocalStartup>(queue, held.executor(), site, starter.function());
  driven->onFailure = [this](const MessagePage& page) { failures.push_back(messageText(page)); };
  starter.queue(ShellError::noPort());
  driven->start();
  EXPECT_EQ(starter.starts(), 0) << "start() itself must not block on the backend";
  ASSERT_EQ(held.items.size(), 1u);
  held.runAll();
  EXPECT_THAT(failures, IsEmpty()) << "nothing is reported off the main queue";
  queue.runPending();
  EXPECT_THAT(failures, ElementsAre("找不到可用的本机端口。"));
}

struct MessageRow {
  const char* name;
  LocalStartOutcome outcome;
  std::string message;
};

class StartFailureMessageTest : public LocalStartupTest,
                                public ::testing::WithParamInterface<MessageRow> {};

TEST_P(StartFailureMessageTest, ReportsTheRowsMessageAndKeepsNoBackend) {
  starter.queue(GetParam().outcome);
  startup->start();
  ASSERT_TRUE(queue.runUntil([&] { return !failures.empty(); }));
  EXPECT_THAT(failures, ElementsAre(GetParam().message));
  EXPECT_EQ(startup->backend(), nullptr);
  EXPECT_THAT(ready, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    MessageTable, StartFailureMessageTest,
    ::testing::Values(MessageRow{"NoPort", ShellError::noPort(), "找不到可用的本机端口。"},
                      MessageRow{"PlatformFailure",
                                 StartFailure{"无法启动后端 /x/python3：No such file or directory"},
                                 "起不来：无法启动后端 /x/python3：No such file or directory"},
                      MessageRow{"ExitedBeforeReady",
                                 ShellError::backendExited(3, "line 1\nline 2"),
                                 "后端启动后退出了（exit 3）。\n\nline 1\nline 2"},
                      MessageRow{"NeverReady", ShellError::neverBecameReady("tail"),
                                 "后端起来了，但一直没有就绪。\n\ntail"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalStartupTest, APortTakenByAnotherProgramSinceTheWaitLoadsNothingAndStopsTheBackend) {
  testing::ScriptedChild child(dir, "ready-python");
  auto backend = std::make_shared<Backend>(child.path(), dir / "ready-logs");
  backend->start();
  // Another program listens on the ready backend's port when its page would load.
  const UniqueFd other(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(backend->port());
  ASSERT_EQ(::bind(other.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(other.get(), 1), 0);
  starter.queue(backend);

  startup->start();
  ASSERT_TRUE(queue.runUntil([&] { return !failures.empty(); }));
  EXPECT_THAT(ready, IsEmpty());
  EXPECT_EQ(startup->backend(), nullptr);
  EXPECT_TRUE(backend->hasEnded());
  EXPECT_THAT(failures, ElementsAre(messageText(PortTakenByAnother{backend->port(), ""}) +
                                    backend->tailOfLog()));
}

// Whatever the status, the end is reported with the log's tail, and what
// follows is the owner's choice: no message, no new start.
TEST_F(LocalStartupTest, AReadyBackendsEndIsReportedWithItsStatusAndTheLogTail) {
  for (const int status : {1, Backend::restartExitCode}) {
    SCOPED_TRACE(status);
    exits.clear();
    startup->start();
    ASSERT_TRUE(becameReady());
    ready.clear();
    const std::shared_ptr<Backend> backend = startup->backend();
    starter.exitWith(status);
    ASSERT_TRUE(queue.runUntil([&] { return !exits.empty(); }));
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].exit.reason, ChildExit::Reason::exit);
    EXPECT_EQ(exits[0].exit.status, status);
    EXPECT_THAT(exits[0].log, HasSubstr("exiting " + std::to_string(status)));
    EXPECT_EQ(exits[0].log, backend->tailOfLog());
    EXPECT_EQ(startup->backend(), nullptr);
  }
  EXPECT_THAT(failures, IsEmpty());
  EXPECT_EQ(starter.starts(), 2);
}

// A port a backend bound itself is anybody's once it ended, and a page of it
// may still call there: every such backend answers a secret of its own. A
// held socket never leaves the shell, so every backend on it answers the run's.
TEST_F(LocalStartupTest, OnlyBackendsOnTheHeldSocketShareTheRunsSecret) {
  for (const bool takesSocket : {false, true}) {
    SCOPED_TRACE(takesSocket ? "held socket" : "own port");
    ScriptedStarter own{dir};
    LocalStartSite ownSite = site;
    ownSite.backendTakesSocket = takesSocket;
    auto run =
        std::make_shared<LocalStartup>(queue, detachedThreadExecutor(), ownSite, own.function());
    std::vector<std::string> secrets;
    run->onReady = [&](const Url&) { secrets.push_back(run->backend()->secret()); };
    run->onExit = [&](const BackendEnded&) { run->start(); };
    run->start();
    ASSERT_TRUE(queue.runUntil([&] { return secrets.size() == 1; }));
    own.exitWith(Backend::restartExitCode);
    ASSERT_TRUE(queue.runUntil([&] { return secrets.size() == 2; }));
    run->stop();
    EXPECT_EQ(own.run(0).secret, takesSocket ? run->secret() : "");
    EXPECT_EQ(own.run(1).secret, own.run(0).secret);
    EXPECT_EQ(secrets[0] == secrets[1], takesSocket);
    EXPECT_GE(secrets[1].size(), 32u);
  }
}

TEST_F(LocalStartupTest, StoppingEndsTheReadyBackendAndReportsNoExit) {
  startup->start();
  ASSERT_TRUE(becameReady());
  const std::shared_ptr<Backend> backend = startup->backend();
  startup->stop();
  EXPECT_TRUE(backend->hasEnded());
  EXPECT_FALSE(queue.runNext(std::chrono::milliseconds(500)));
  EXPECT_THAT(exits, IsEmpty());
  EXPECT_THAT(failures, IsEmpty());
}

TEST_F(LocalStartupTest, AnOutcomeArrivingAfterTheComponentIsGoneDoesNothing) {
  starter.queue(ShellError::noPort());
  startup->start();
  ASSERT_TRUE(queue.waitForPosted(1));
  startup.reset();
  queue.runPending();
  EXPECT_THAT(failures, IsEmpty());
}

TEST_F(LocalStartupTest, AnExitArrivingAfterTheComponentIsGoneDoesNothing) {
  startup->start();
  ASSERT_TRUE(becameReady());
  const std::shared_ptr<Backend> backend = startup->backend();
  std::weak_ptr<LocalStartup> weak = startup;
  startup.reset();
  EXPECT_TRUE(weak.expired());
  const size_t posted = queue.postedCount();
  starter.exitWith(0);
  ASSERT_TRUE(queue.waitForPosted(posted + 1));
  queue.runPending();
  EXPECT_THAT(exits, IsEmpty());
  EXPECT_THAT(failures, IsEmpty());
}

}  // namespace
}  // namespace lumivant
