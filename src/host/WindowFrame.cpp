#include "host/WindowFrame.h"

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

}  // namespace lumivant
