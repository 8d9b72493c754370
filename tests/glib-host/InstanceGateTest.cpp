// The gate between launches for one data root, on a private session bus.
// The relaunch that replaces a running shell needs a second bus connection,
// hence a second process: the end-to-end tests cover it with the shell.

#include "InstanceGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/MainLoop.h"
#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::ScopedEnv;
using testing::spinUntil;

constexpr char kApplicationId[] = "org.lumivant.GateTest";

struct Launch {
  bool anotherInstanceRuns = false;
  bool runningInstanceAnswered = false;
};

// A later launch, on a thread with a main context of its own, as a second
// process would be: the running instance answers it from this thread's loop.
Launch launchAgain() {
  Launch launch;
  std::atomic<bool> done = false;
  std::thread later([&] {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    {
      InstanceGate gate(kApplicationId, InstanceGate::Takeover::no);
      launch.anotherInstanceRuns = gate.anotherInstanceRuns();
      launch.runningInstanceAnswered = gate.activateRunningInstance();
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    done = true;
    g_main_context_wakeup(nullptr);
  });
  EXPECT_TRUE(spinUntil([&] { return done.load(); }));
  later.join();
  return launch;
}

class InstanceGateTest : public ::testing::Test {
 protected:
  void SetUp() override { g_test_dbus_up(bus_); }
  void TearDown() override {
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
  }

 private:
  GTestDBus* bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
};

TEST_F(InstanceGateTest, ALaterLaunchBringsTheRunningInstanceForwardWithItsToken) {
  InstanceGate running(kApplicationId, InstanceGate::Takeover::no);
  ASSERT_FALSE(running.anotherInstanceRuns());
  std::vector<std::string> tokens;
  running.onActivate([&](const std::string& token) { tokens.push_back(token); });

  {
    const ScopedEnv token("XDG_ACTIVATION_TOKEN", "launcher-token");
    const Launch launch = launchAgain();
    EXPECT_TRUE(launch.anotherInstanceRuns);
    EXPECT_TRUE(launch.runningInstanceAnswered);
  }
  {
    const ScopedEnv wayland("XDG_ACTIVATION_TOKEN", std::nullopt);
    const ScopedEnv x11("DESKTOP_STARTUP_ID", "x11-startup-id");
    EXPECT_TRUE(launchAgain().anotherInstanceRuns);
  }
  {
    const ScopedEnv wayland("XDG_ACTIVATION_TOKEN", std::nullopt);
    const ScopedEnv x11("DESKTOP_STARTUP_ID", std::nullopt);
    EXPECT_TRUE(launchAgain().anotherInstanceRuns);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"launcher-token", "x11-startup-id", ""}));
}

TEST_F(InstanceGateTest, ALaunchForAnotherDataRootRunsOnItsOwn) {
  InstanceGate running(kApplicationId, InstanceGate::Takeover::no);
  InstanceGate other(std::string(kApplicationId) + ".Other", InstanceGate::Takeover::no);
  EXPECT_FALSE(running.anotherInstanceRuns());
  EXPECT_FALSE(other.anotherInstanceRuns());
}

// A shell of an older version, which knows no state question, is still
// brought forward; a program that cannot be activated at all is no shell.
TEST_F(InstanceGateTest, AnOwnerThatKnowsNoStateQuestionIsActivatedIfItCanBe) {
  {
    g_autoptr(GApplication) older = g_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS);
    int activations = 0;
    g_signal_connect(older, "activate", G_CALLBACK(+[](GApplication*, gpointer count) {
                       ++*static_cast<int*>(count);
                     }),
                     &activations);
    ASSERT_TRUE(g_application_register(older, nullptr, nullptr));
    const Launch launch = launchAgain();
    EXPECT_TRUE(launch.anotherInstanceRuns);
    EXPECT_TRUE(launch.runningInstanceAnswered);
    EXPECT_TRUE(spinUntil([&] { return activations == 1; }));
  }
  {
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_TRUE(bus);
    g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", kApplicationId, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
    ASSERT_TRUE(owned);
    const Launch launch = launchAgain();
    EXPECT_TRUE(launch.anotherInstanceRuns);
    EXPECT_FALSE(launch.runningInstanceAnswered) << "not a shell";
  }
}

// Without a session bus there is nothing to meet on: every launch runs.
TEST(InstanceGateWithoutBusTest, EveryLaunchIsTheFirst) {
  const ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumivant-bus");
  InstanceGate first(kApplicationId, InstanceGate::Takeover::no);
  InstanceGate second(kApplicationId, InstanceGate::Takeover::no);
  EXPECT_FALSE(first.anotherInstanceRuns());
  EXPECT_FALSE(second.anotherInstanceRuns());
  EXPECT_TRUE(second.activateRunningInstance());
}

}  // namespace
}  // namespace lumivant::gtk
