#include "host/WindowFrame.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

struct FrameRow {
  const char* name;
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

}  // namespace
}  // namespace lumivant
