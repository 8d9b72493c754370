#include "host/WindowFrame.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

struct FrameRow {
  const char* name = "";
  WindowFrame remembered;
  FrameObservation now;
  WindowFrame expected;
};

constexpr FramePosition kAt{100, 80};
constexpr FramePosition kElsewhere{300, 200};

const FrameRow kFrameRows[] = {
    {"moved and resized",
     {kAt, 1000, 700, false},
     {WindowPlacement::normal, kElsewhere, 1100, 750},
     {kElsewhere, 1100, 750, false}},
    // The screen-sized frame a window manager reports with (or before) the
    // maximised state is not the frame to go back to.
    {"maximised keeps the normal frame",
     {kAt, 1000, 700, false},
     {WindowPlacement::maximized, FramePosition{0, 0}, 1920, 1080},
     {kAt, 1000, 700, true}},
    {"un-maximised takes the frame shown",
     {kAt, 1000, 700, true},
     {WindowPlacement::normal, kAt, 1000, 700},
     {kAt, 1000, 700, false}},
    {"full-screen or snapped changes nothing",
     {kAt, 1000, 700, true},
     {WindowPlacement::transient, FramePosition{0, 0}, 960, 1080},
     {kAt, 1000, 700, true}},
    // Wayland: the size is the user's, the position stays what it was.
    {"no position reported keeps the remembered one",
     {kAt, 1000, 700, false},
     {WindowPlacement::normal, std::nullopt, 950, 650},
     {kAt, 950, 650, false}},
    {"no position ever",
     {std::nullopt, 1280, 840, false},
     {WindowPlacement::normal, std::nullopt, 950, 650},
     {std::nullopt, 950, 650, false}},
    {"first maximise without a position",
     {std::nullopt, 1280, 840, false},
     {WindowPlacement::maximized, std::nullopt, 1920, 1040},
     {std::nullopt, 1280, 840, true}},
};

TEST(WindowFrameTest, RememberedFrameFollowsTheTable) {
  for (const FrameRow& row : kFrameRows) {
    EXPECT_EQ(rememberFrame(row.remembered, row.now), row.expected) << row.name;
  }
}

// A frame fitted to a small screen (900 px tall, or the first-run frame on a
// laptop) is not remembered, but maximising over it and un-maximising are.
TEST(WindowFrameTest, OverAFittedFrameOnlyTheUsersChoicesAreRemembered) {
  const WindowFrame firstRun{std::nullopt, 1280, 840, false};
  const WindowFrame fitted{kAt, 1280, 772, false};
  struct Row {
    const char* name = nullptr;
    FrameMemory memory;
    FrameObservation now;
    FrameMemory expected;
  };
  const Row rows[] = {
      {"the fitted frame shown is not remembered",
       {firstRun, fitted},
       {WindowPlacement::normal, kAt, 1280, 772},
       {firstRun, fitted}},
      {"maximised over it is",
       {firstRun, fitted},
       {WindowPlacement::maximized, FramePosition{0, 0}, 1440, 900},
       {{std::nullopt, 1280, 840, true}, fitted}},
      {"un-maximised back to it forgets the maximised state",
       {{std::nullopt, 1280, 840, true}, fitted},
       {WindowPlacement::normal, kAt, 1280, 772},
       {firstRun, fitted}},
      {"full-screen over it changes nothing",
       {{std::nullopt, 1280, 840, true}, fitted},
       {WindowPlacement::transient, FramePosition{0, 0}, 1440, 900},
       {{std::nullopt, 1280, 840, true}, fitted}},
      {"the user's resize ends the fit",
       {firstRun, fitted},
       {WindowPlacement::normal, kElsewhere, 1100, 700},
       {{kElsewhere, 1100, 700, false}, std::nullopt}},
      {"nothing fitted: the frame shown is remembered",
       {firstRun, std::nullopt},
       {WindowPlacement::normal, kAt, 1280, 840},
       {{kAt, 1280, 840, false}, std::nullopt}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(rememberFrame(row.memory, row.now), row.expected) << row.name;
  }
}

// mutter under Wayland reports a maximised window as tiled on every edge too.
TEST(WindowFrameTest, MaximisedCountsWhateverElseIsReportedWithIt) {
  struct Row {
    WindowStates states;
    WindowPlacement expected{};
  };
  const Row rows[] = {
      {{}, WindowPlacement::normal},
      {{.maximized = true}, WindowPlacement::maximized},
      {{.maximized = true, .tiled = true}, WindowPlacement::maximized},
      {{.tiled = true}, WindowPlacement::transient},
      {{.maximized = true, .fullscreen = true}, WindowPlacement::transient},
      {{.maximized = true, .minimized = true}, WindowPlacement::transient},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(placementOf(row.states), row.expected)
        << row.states.maximized << row.states.fullscreen << row.states.minimized
        << row.states.tiled;
  }
}

// Weston and mutter report the whole monitor: the first-run frame leaves room
// for a panel on either axis and still fits the monitor.
TEST(WindowFrameTest, AMonitorWithoutKnownPanelsLeavesRoomForThem) {
  EXPECT_EQ(roomBesidePanels(ScreenArea{0, 0, 1280, 800}), (ScreenArea{32, 32, 1216, 736}));
  EXPECT_EQ(roomBesidePanels(ScreenArea{1920, 0, 1440, 900}), (ScreenArea{1952, 32, 1376, 836}));
  for (const ScreenArea monitor : {ScreenArea{0, 0, 1280, 800}, ScreenArea{0, 0, 1440, 900}}) {
    const FittedFrame fit = fitFrame(WindowFrame{std::nullopt, 1280, 840, false},
                                     {roomBesidePanels(monitor)}, FrameInsets{0, 0, 64, 0});
    EXPECT_TRUE(fit.fitted);
    EXPECT_LE(fit.frame.width, monitor.width - kPanelAllowance);
    EXPECT_LE(fit.frame.height + 64, monitor.height - kPanelAllowance);
    EXPECT_GE(fit.frame.height + 64, 600) << "never below the minimum with its title bar";
  }
}

}  // namespace
}  // namespace lumivant

namespace lumivant {
namespace {

struct FitRow {
  const char* name = "";
  WindowFrame remembered;
  FittedFrame expected;
};

// Two monitors side by side, each with a 30-pixel panel at its top; a title
// bar of 37 pixels.
const std::vector<ScreenArea> kMonitors = {{0, 30, 1600, 970}, {1600, 30, 1920, 1050}};
constexpr FrameInsets kTitleBar{0, 0, 37, 0};

const FitRow kFitRows[] = {
    {"fits already",
     {FramePosition{100, 80}, 1000, 700, false},
     {{FramePosition{100, 80}, 1000, 700, false}, false}},
    // A frame saved at GDK_SCALE=1 read back at 2 is twice the screen.
    {"bigger than its monitor",
     {FramePosition{100, 80}, 2000, 1400, false},
     {{FramePosition{0, 30}, 1600, 933, false}, true}},
    {"hanging off the right edge",
     {FramePosition{1000, 80}, 1000, 700, false},
     {{FramePosition{600, 80}, 1000, 700, false}, true}},
    {"under the panel",
     {FramePosition{100, 0}, 1000, 700, false},
     {{FramePosition{100, 30}, 1000, 700, false}, true}},
    {"mostly on the second monitor",
     {FramePosition{1500, 100}, 1000, 700, false},
     {{FramePosition{1600, 100}, 1000, 700, false}, true}},
    {"on the second monitor, too tall for the first",
     {FramePosition{1700, 40}, 1200, 1000, false},
     {{FramePosition{1700, 40}, 1200, 1000, false}, false}},
    {"on no monitor any more",
     {FramePosition{5000, 100}, 1000, 700, true},
     {{std::nullopt, 1000, 700, true}, false}},
    // The first run, and every run under Wayland: the primary monitor.
    {"first run on a small screen",
     {std::nullopt, 1280, 840, false},
     {{std::nullopt, 1280, 840, false}, false}},
    {"first run on a 900-pixel screen",
     {std::nullopt, 1280, 1840, false},
     {{std::nullopt, 1280, 933, false}, true}},
};

TEST(FitFrameTest, FramesAreFittedIntoTheWorkAreaOfTheirMonitor) {
  for (const FitRow& row : kFitRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(fitFrame(row.remembered, kMonitors, kTitleBar), row.expected);
  }
  const WindowFrame any{FramePosition{10, 10}, 5000, 5000, false};
  EXPECT_EQ(fitFrame(any, {}, kTitleBar).frame, any) << "no monitor known: nothing to fit to";
}

// A window manager reports its frame in the screen's pixels; at a scale of 2
// its one-pixel borders and odd-sized edges are worth a whole unit each.
TEST(FitFrameTest, WindowManagerFramesAreCountedInWholeUnitsOfTheWindow) {
  struct Row {
    FrameInsets pixels;
    int scale = 1;
    FrameInsets expected;
  };
  const Row rows[] = {
      {{1, 1, 20, 5}, 1, {1, 1, 20, 5}}, {{1, 1, 20, 5}, 2, {1, 1, 10, 3}},
      {{0, 0, 0, 0}, 2, {0, 0, 0, 0}},   {{4, 4, 30, 4}, 3, {2, 2, 10, 2}},
      {{1, 1, 20, 5}, 0, {1, 1, 20, 5}},  // no scale known: pixels
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scale);
    EXPECT_EQ(insetsInWindowUnits(row.pixels, row.scale), row.expected);
  }
  // Openbox's frame around a window on a 1920x1080 screen at a scale of 2:
  // the fitted window and its frame together cover at most the screen's
  // 1920x1080 pixels.
  const FittedFrame fit =
      fitFrame(WindowFrame{FramePosition{300, 200}, 1000, 700, false}, {ScreenArea{0, 0, 960, 540}},
               insetsInWindowUnits(FrameInsets{1, 1, 20, 5}, 2));
  EXPECT_EQ(fit, (FittedFrame{{FramePosition{0, 0}, 958, 527, false}, true}));
  EXPECT_LE(fit.frame.width * 2 + 1 + 1, 1920);
  EXPECT_LE(fit.frame.height * 2 + 20 + 5, 1080);
}

}  // namespace
}  // namespace lumivant
