#pragma once

#include <cstdint>
#include <optional>

#include "host/WebViewDelegate.h"

namespace lumivant::gtk {

// Numbers the user's gestures from the key and button presses a view
// receives. A key held down repeats its press many times a second; those
// repeats, and a press the view receives twice (once more when the page
// leaves a key unhandled), are the gesture they continue, not new ones.
// Only a button or a key that activates what has the focus (Return, Space)
// clicks; a key typed into a field does not, though a page may turn every
// one into a navigation.
class PressGestures {
 public:
  enum class Key { activates, types };

  // Times are the events' own, in milliseconds.
  GestureId keyPressed(uint32_t keycode, uint32_t time, Key key = Key::activates) {
    const bool repeat = heldKey_ == keycode && time - lastKeyTime_ < kRepeatGap;
    heldKey_ = keycode;
    lastKeyTime_ = time;
    if (!repeat) {
      next(time);
      clicks_ = key == Key::activates;
    }
    return current_;
  }
  void keyReleased(uint32_t keycode) {
    if (heldKey_ == keycode) heldKey_.reset();
  }
  // The keyboard went elsewhere: no key is held for this view any more.
  void focusLost() { heldKey_.reset(); }
  GestureId buttonPressed(uint32_t time) {
    next(time);
    clicks_ = true;
    return current_;
  }
  // A choice in a menu of the view's own (its context menu), whose click the
  // view itself never receives.
  GestureId chosenInMenu() {
    clicks_ = true;
    return ++current_;
  }
  GestureId current() const { return current_; }
  // The current gesture when it is a click, else 0 (no gesture known).
  GestureId currentClick() const { return clicks_ ? current_ : 0; }

 private:
  // A key's repeats follow each other well within this (the slowest usual
  // repeat delay is about 660 ms); a release lost on the way (the keyboard
  // grabbed elsewhere) cannot make a later real press look like a repeat.
  static constexpr uint32_t kRepeatGap = 1000;

  void next(uint32_t time) {
    // One event delivered twice carries one time.
    if (current_ != 0 && time == lastTime_) return;
    lastTime_ = time;
    ++current_;
  }

  GestureId current_ = 0;
  bool clicks_ = false;
  uint32_t lastTime_ = 0;
  std::optional<uint32_t> heldKey_;
  uint32_t lastKeyTime_ = 0;
};

}  // namespace lumivant::gtk
