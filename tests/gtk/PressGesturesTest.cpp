// Which presses are new gestures: a held key's repeats and an event the view
// receives twice are not.

#include "PressGestures.h"

#include <gtest/gtest.h>

namespace lumivant::gtk {
namespace {

constexpr uint32_t kReturn = 36;
constexpr uint32_t kTab = 23;

TEST(PressGesturesTest, EveryPressAndReleaseIsOneGesture) {
  PressGestures presses;
  EXPECT_EQ(presses.current(), 0u) << "nothing pressed yet";
  EXPECT_EQ(presses.keyPressed(kReturn, 100), 1u);
  EXPECT_EQ(presses.keyPressed(kReturn, 100), 1u) << "the same event, unhandled by the page";
  presses.keyReleased(kReturn);
  EXPECT_EQ(presses.keyPressed(kReturn, 110), 2u) << "pressed again at once";
  presses.keyReleased(kReturn);
  EXPECT_EQ(presses.buttonPressed(120), 3u);
  EXPECT_EQ(presses.buttonPressed(120), 3u) << "the double click's event of the same press";
  EXPECT_EQ(presses.buttonPressed(130), 4u);
  EXPECT_EQ(presses.keyPressed(kTab, 140), 5u);
  EXPECT_EQ(presses.keyPressed(kReturn, 141), 6u) << "another key while Tab is down";
}

TEST(PressGesturesTest, AHeldKeysRepeatsContinueItsGesture) {
  PressGestures presses;
  EXPECT_EQ(presses.keyPressed(kReturn, 1000), 1u);
  for (uint32_t time = 1660; time < 4000; time += 40) {
    EXPECT_EQ(presses.keyPressed(kReturn, time), 1u) << "repeat at " << time;
  }
  presses.keyReleased(kReturn);
  EXPECT_EQ(presses.keyPressed(kReturn, 4100), 2u);
}

TEST(PressGesturesTest, OnlyButtonsAndActivatingKeysClick) {
  using Key = PressGestures::Key;
  constexpr uint32_t kLetterA = 38;
  PressGestures presses;
  EXPECT_EQ(presses.currentClick(), 0u);
  presses.keyPressed(kLetterA, 100, Key::types);
  EXPECT_EQ(presses.currentClick(), 0u) << "a typed letter";
  presses.keyReleased(kLetterA);
  presses.keyPressed(kReturn, 110, Key::activates);
  EXPECT_EQ(presses.currentClick(), 2u);
  presses.keyReleased(kReturn);
  presses.buttonPressed(120);
  EXPECT_EQ(presses.currentClick(), 3u);
  presses.keyPressed(kLetterA, 130, Key::types);
  EXPECT_EQ(presses.currentClick(), 0u);
  EXPECT_EQ(presses.chosenInMenu(), 5u);
  EXPECT_EQ(presses.currentClick(), 5u) << "a choice in the view's own menu";
}

TEST(PressGesturesTest, ALostReleaseDoesNotSwallowALaterPress) {
  PressGestures presses;
  EXPECT_EQ(presses.keyPressed(kReturn, 1000), 1u);
  // The release went to another window; the next press a while later is new.
  EXPECT_EQ(presses.keyPressed(kReturn, 5000), 2u);
  presses.focusLost();
  EXPECT_EQ(presses.keyPressed(kReturn, 5100), 3u) << "the keyboard came back";
}

}  // namespace
}  // namespace lumivant::gtk
