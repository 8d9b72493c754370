#pragma once

#include <optional>
#include <vector>

namespace lumivant {

// Where a window's frame begins, in the screen's coordinates.
struct FramePosition {
  int x = 0;
  int y = 0;
  bool operator==(const FramePosition&) const = default;
};

// The window as the next launch is to bring it back: the normal (neither
// maximised nor full-screen) frame, and whether it was maximised on top of it.
// The position is missing where the window system never told it.
struct WindowFrame {
  std::optional<FramePosition> position;
  int width = 0;
  int height = 0;
  bool maximized = false;
  bool operator==(const WindowFrame&) const = default;
};

// How the window system shows the window at the moment.
enum class WindowPlacement {
  normal,
  maximized,
  // Full-screen, snapped to a screen edge, or minimised: passing states whose
  // size is the screen's business, not the user's choice.
  transient,
};

// What the window system reports about the window. The position is missing
// where it cannot be known (a Wayland compositor keeps it to itself).
struct FrameObservation {
  WindowPlacement placement = WindowPlacement::normal;
  std::optional<FramePosition> position;
  int width = 0;
  int height = 0;
};

// The frame to remember once the window system reported now, given the frame
// remembered so far. A maximised or passing window keeps the normal frame to
// go back to; a position nobody reported keeps the one remembered before.
WindowFrame rememberFrame(const WindowFrame& remembered, const FrameObservation& now);

// What is remembered of the window, and the frame it shows when the screen
// could not hold the remembered one and it was fitted: a fitted frame is the
// screen's doing, not the user's choice, and is not remembered until the user
// resizes the window. Maximising and un-maximising are the user's choices
// whatever the window showed before.
struct FrameMemory {
  WindowFrame remembered;
  std::optional<WindowFrame> fittedShown;
  bool operator==(const FrameMemory&) const = default;
};
FrameMemory rememberFrame(const FrameMemory& memory, const FrameObservation& now);

// The states a window system reports for a window, as it reports them: a
// compositor may report one window as maximised and tiled at once (mutter
// tiles a maximised window on every edge).
struct WindowStates {
  bool maximized = false;
  bool fullscreen = false;
  bool minimized = false;
  bool tiled = false;
};
// Full-screen and minimised pass; maximised is the user's choice, tiled or
// not; tiled alone (snapped to an edge) passes.
WindowPlacement placementOf(const WindowStates& states);

// A monitor's work area (the monitor without the panels and docks), in the
// screen's coordinates.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenArea&) const = default;
};

// Where the window system reports a whole monitor as its work area (a Wayland
// compositor keeps its panels to itself), the room a frame may take on it: the
// monitor less an allowance for a panel or dock on each axis, centred.
ScreenArea roomBesidePanels(const ScreenArea& monitor);
inline constexpr int kPanelAllowance = 64;

// What the window system draws around a frame's size: its title bar and
// borders, where it draws them.
struct FrameInsets {
  int left = 0;
  int right = 0;
  int top = 0;
  int bottom = 0;
  bool operator==(const FrameInsets&) const = default;
};

// What the window manager reports around a window in the screen's pixels, in
// the window's units at the given scale (GDK_SCALE). Rounded up: half a unit
// of border counts as a whole one, so that a frame fitted with these insets
// never reaches past the work area by a pixel.
FrameInsets insetsInWindowUnits(const FrameInsets& pixels, int scale);

// A frame as it can be shown, and whether it had to be changed for that: a
// fitted frame is the screen's doing, not the user's choice.
struct FittedFrame {
  WindowFrame frame;
  bool fitted = false;
  bool operator==(const FittedFrame&) const = default;
};

// Fits frame into the work area of the monitor it lands on: the one that
// holds most of it, or the first (the primary one) when it has no position or
// lands on none, in which case it is shown without one (centred). The frame
// with its insets is never larger than that area, and a frame with a position
// lies wholly inside it.
FittedFrame fitFrame(const WindowFrame& frame, const std::vector<ScreenArea>& workAreas,
                     const FrameInsets& insets);

}  // namespace lumivant
