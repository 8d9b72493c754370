// The backend's restarts with scripted backends, the driven main queue and a
// clock of the test's own: by itself while the budget lasts, by the user always.

#include "app/BackendSupervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "backend/Backend.h"
#include "support/ManualMainQueue.h"
#include "support/ScriptedStarter.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::HeldWork;
using ::testing::IsEmpty;
using testing::ManualMainQueue;
using testing::ScriptedStarter;
using testing::TempDir;

struct BackendSupervisorTest : ::testing::Test {
  TempDir dir;
  ManualMainQueue queue;
  HeldWork held;
  ScriptedStarter starter{dir};
  BackendSupervisor::Clock::time_point now = BackendSupervisor::Clock::time_point{} + 1000s;
  BackendSupervisor supervisor{
      queue,
      held.executor(),
      dir / "data",
      LocalStartSite{dir / "python3", dir / "data/logs", dir / "data", dir / "state"},
      starter.function(),
      [this] { return now; }};
  std::vector<std::string> ready, failures;
  int restarting = 0, ended = 0;

  void SetUp() override {
    supervisor.onReady = [this](const Url& url) { ready.push_back(url.absoluteString()); };
    supervisor.onFailure = [this](const MessagePage& page) {
      failures.push_back(messageText(page));
    };
    supervisor.onBackendEnded = [this] { ++ended; };
    supervisor.onRestarting = [this] { ++restarting; };
  }
  void TearDown() override { supervisor.stop(); }

  // Runs the start waiting on the executor; the backend it starts is ready.
  void runStart() {
    ASSERT_EQ(held.items.size(), 1u) << "one start on its way";
    const size_t readyBefore = ready.size();
    held.runAll();
    queue.runPending();
    ASSERT_EQ(ready.size(), readyBefore + 1);
  }
  // Makes the ready backend exit with the status and runs what its end posts.
  void endWith(int status) {
    const size_t posted = queue.postedCount();
    starter.exitWith(status);
    ASSERT_TRUE(queue.waitForPosted(posted + 1));
    queue.runPending();
  }
  // The backend asks for its restart, and the next one is ready.
  void restartOnRequest() {
    endWith(Backend::restartExitCode);
    ASSERT_NO_FATAL_FAILURE(runStart());
  }
};

TEST_F(BackendSupervisorTest, RestartsByItselfWithinTheBudgetThenEndsOnAPage) {
  supervisor.start();
  runStart();
  // Five restarts within a minute, ten seconds apart, and a sixth once the
  // first of them is a minute old.
  for (int i = 0; i < BackendSupervisor::kRestartsPerMinute; ++i) {
    ASSERT_NO_FATAL_FAILURE(restartOnRequest());
    now += 10s;
  }
  now += 10s;
  ASSERT_NO_FATAL_FAILURE(restartOnRequest());
  EXPECT_EQ(restarting, 6);
  EXPECT_THAT(failures, IsEmpty());

  // Another within that minute is one too many: a page, and no start.
  now += 5s;
  endWith(Backend::restartExitCode);
  EXPECT_THAT(held.items, IsEmpty());
  EXPECT_EQ(restarting, 6);
  EXPECT_EQ(ended, 7);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_THAT(failures[0], HasSubstr("后端一分钟内反复要求重新启动"));
  EXPECT_THAT(failures[0], HasSubstr("exiting 3"));
  EXPECT_EQ(starter.starts(), 7);

  // The user's restart goes through, and the budget starts afresh: five more
  // at the same moment.
  supervisor.restartForUser();
  EXPECT_EQ(restarting, 7);
  ASSERT_NO_FATAL_FAILURE(runStart());
  for (int i = 0; i < BackendSupervisor::kRestartsPerMinute; ++i) {
    ASSERT_NO_FATAL_FAILURE(restartOnRequest());
  }
  EXPECT_EQ(failures.size(), 1u);
}

TEST_F(BackendSupervisorTest, AnyOtherEndShowsHowItEndedAndOnlyTheUserRestartsIt) {
  supervisor.start();
  supervisor.restartForUser();
  EXPECT_EQ(restarting, 0) << "a start is on its way";
  runStart();
  supervisor.restartForUser();
  EXPECT_THAT(held.items, IsEmpty()) << "a backend runs";

  endWith(1);
  EXPECT_EQ(ended, 1);
  EXPECT_THAT(held.items, IsEmpty());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_THAT(failures[0], ::testing::StartsWith("后端退出了（code 1）。\n\n"));
  EXPECT_THAT(failures[0], ::testing::EndsWith("exiting 1\n\n按 F5 重新启动后端。"));

  supervisor.restartForUser();
  supervisor.restartForUser();
  EXPECT_EQ(restarting, 1) << "the second asks while the first is on its way";
  ASSERT_NO_FATAL_FAILURE(runStart());
  EXPECT_EQ(starter.starts(), 2);
  EXPECT_EQ(ready.back(), starter.handedOut(1)->url().absoluteString());
}

}  // namespace
}  // namespace lumivant
