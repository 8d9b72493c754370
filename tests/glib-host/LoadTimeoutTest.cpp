// The web view's time-out per request, on GLib's main loop, with a counter in
// place of the view.

#include "LoadTimeout.h"

#include <gtest/gtest.h>

#include "support/MainLoop.h"

namespace lumivant::gtk {
namespace {

using testing::spinUntil;

constexpr double kTimeoutSeconds = 0.05;
// Later than any time-out a case sets: GLib runs timers that are due in the
// order they fall due, so once this one has run, theirs have too.
constexpr guint kAfterTheTimeoutMilliseconds = 200;

// Runs the main loop until every time-out a case has set is past.
void runPastTheTimeout() {
  bool passed = false;
  g_timeout_add(
      kAfterTheTimeoutMilliseconds,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &passed);
  ASSERT_TRUE(spinUntil([&] { return passed; }));
}

class LoadTimeoutTest : public ::testing::Test {
 protected:
  int stops = 0;
  LoadTimeout timeout{[this] { ++stops; }};
};

TEST_F(LoadTimeoutTest, ALoadWithoutAnAnswerIsStoppedOnceItsTimeOutPasses) {
  timeout.start(kTimeoutSeconds);
  timeout.loadStarted();
  ASSERT_TRUE(spinUntil([&] { return stops > 0; }));
  EXPECT_TRUE(timeout.timedOut());
  runPastTheTimeout();
  EXPECT_EQ(stops, 1);

  // The next request starts with a clean slate.
  timeout.start(kTimeoutSeconds);
  timeout.loadStarted();
  EXPECT_FALSE(timeout.timedOut());
  timeout.cancel();
}

TEST_F(LoadTimeoutTest, AnAnsweredLoadIsNeverStopped) {
  timeout.start(kTimeoutSeconds);
  timeout.loadStarted();
  timeout.cancel();
  runPastTheTimeout();
  EXPECT_EQ(stops, 0);
  EXPECT_FALSE(timeout.timedOut());
}

// The engine may begin a load only after its web process has started, which
// can take longer than the time-out: the load cannot be stopped before it has
// begun, so it is stopped as it begins.
TEST_F(LoadTimeoutTest, ATimeOutBeforeTheEngineBeganStopsTheLoadAsItBegins) {
  timeout.start(kTimeoutSeconds);
  ASSERT_TRUE(spinUntil([&] { return timeout.timedOut(); }));
  EXPECT_EQ(stops, 0);
  timeout.loadStarted();
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(timeout.timedOut());
  timeout.cancel();
}

// A page of the shell's own replaces the request: a stop still waiting for
// the request must not hit it.
TEST_F(LoadTimeoutTest, AWithdrawnTimeOutStopsNothing) {
  timeout.start(kTimeoutSeconds);
  ASSERT_TRUE(spinUntil([&] { return timeout.timedOut(); }));
  timeout.withdraw();
  timeout.loadStarted();
  EXPECT_EQ(stops, 0);

  timeout.start(kTimeoutSeconds);
  timeout.withdraw();
  runPastTheTimeout();
  EXPECT_EQ(stops, 0);
  timeout.cancel();
}

TEST_F(LoadTimeoutTest, AGoneTimeOutLeavesNoTimerBehind) {
  {
    LoadTimeout gone([this] { ++stops; });
    gone.start(kTimeoutSeconds);
    gone.loadStarted();
  }
  runPastTheTimeout();
  EXPECT_EQ(stops, 0);
}

}  // namespace
}  // namespace lumivant::gtk
