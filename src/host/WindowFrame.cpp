#include "host/WindowFrame.h"

#include <algorithm>

namespace lumivant {

WindowFrame rememberFrame(const WindowFrame& remembered, const FrameObservation& now) {
  switch (now.placement) {
    case WindowPlacement::normal:
      return WindowFrame{now.position ? now.position : remembered.position, now.width, now.height,
                         false};
    case WindowPlacement::maximized: {
      WindowFrame frame = remembered;
      frame.maximized = true;
      return frame;
    }
    case WindowPlacement::transient:
      break;
  }
  return remembered;
}

FrameMemory rememberFrame(const FrameMemory& memory, const FrameObservation& now) {
  if (!memory.fittedShown) return FrameMemory{rememberFrame(memory.remembered, now), std::nullopt};
  FrameMemory next = memory;
  switch (now.placement) {
    case WindowPlacement::maximized:
      next.remembered.maximized = true;
      return next;
    case WindowPlacement::normal:
      if (now.width == memory.fittedShown->width && now.height == memory.fittedShown->height) {
        next.remembered.maximized = false;
        return next;
      }
      return FrameMemory{rememberFrame(memory.remembered, now), std::nullopt};
    case WindowPlacement::transient:
      break;
  }
  return next;
}

WindowPlacement placementOf(const WindowStates& states) {
  if (states.fullscreen || states.minimized) return WindowPlacement::transient;
  if (states.maximized) return WindowPlacement::maximized;
  if (states.tiled) return WindowPlacement::transient;
  return WindowPlacement::normal;
}

ScreenArea roomBesidePanels(const ScreenArea& monitor) {
  const int width = std::max(1, monitor.width - kPanelAllowance);
  const int height = std::max(1, monitor.height - kPanelAllowance);
  return ScreenArea{monitor.x + (monitor.width - width) / 2,
                    monitor.y + (monitor.height - height) / 2, width, height};
}

FrameInsets insetsInWindowUnits(const FrameInsets& pixels, int scale) {
  scale = std::max(1, scale);
  const auto units = [scale](int value) { return (std::max(0, value) + scale - 1) / scale; };
  return FrameInsets{units(pixels.left), units(pixels.right), units(pixels.top),
                     units(pixels.bottom)};
}

namespace {

long overlap(const ScreenArea& a, const ScreenArea& b) {
  const long width = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  const long height = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  return width > 0 && height > 0 ? width * height : 0;
}

// The start of a span of length size within [begin, begin + room), as near
// to wanted as it can be.
int clampInto(int wanted, int size, int begin, int room) {
  return std::clamp(wanted, begin, std::max(begin, begin + room - size));
}

}  // namespace

FittedFrame fitFrame(const WindowFrame& frame, const std::vector<ScreenArea>& workAreas,
                     const FrameInsets& insets) {
  FittedFrame result{frame, false};
  if (workAreas.empty()) return result;
  const int outerWidth = frame.width + insets.left + insets.right;
  const int outerHeight = frame.height + insets.top + insets.bottom;

  const ScreenArea* area = &workAreas.front();
  if (frame.position) {
    const ScreenArea outer{frame.position->x, frame.position->y, outerWidth, outerHeight};
    long most = 0;
    for (const ScreenArea& candidate : workAreas) {
      if (const long shared = overlap(outer, candidate); shared > most) {
        most = shared;
        area = &candidate;
      }
    }
    // On no monitor any more (one that was unplugged): shown centred.
    if (most == 0) result.frame.position.reset();
  }

  const int roomWidth = std::max(1, area->width - insets.left - insets.right);
  const int roomHeight = std::max(1, area->height - insets.top - insets.bottom);
  result.frame.width = std::min(frame.width, roomWidth);
  result.frame.height = std::min(frame.height, roomHeight);
  if (result.frame.position) {
    const int fittedOuterWidth = result.frame.width + insets.left + insets.right;
    const int fittedOuterHeight = result.frame.height + insets.top + insets.bottom;
    result.frame.position->x = clampInto(frame.position->x, fittedOuterWidth, area->x, area->width);
    result.frame.position->y =
        clampInto(frame.position->y, fittedOuterHeight, area->y, area->height);
  }
  result.fitted = result.frame.width != frame.width || result.frame.height != frame.height ||
                  (result.frame.position && result.frame.position != frame.position);
  return result;
}

}  // namespace lumivant
