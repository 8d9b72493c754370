#pragma once

#include <string>

namespace lumivant {

struct WindowSettings {
  std::string title = "Lumivant";
  int width = 1280;
  int height = 840;
  int minWidth = 900;
  int minHeight = 600;
  // The name under which the window system remembers the frame between runs.
  std::string frameAutosaveName = "main";
  // The content reaches under a title bar that draws no background of its own.
  bool titlebarAppearsTransparent = true;
  // The application's icon, shown by the window and by every dialog of the
  // shell; empty leaves the window system's generic one.
  std::string iconPath;
};

}  // namespace lumivant
