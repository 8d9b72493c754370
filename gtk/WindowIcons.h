#pragma once

#include <string>

namespace lumivant::gtk {

// The sizes at which the build renders the application's icon to PNG, beside
// the SVG, as "<name>-<size>.png".
inline constexpr int kWindowIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Makes the application's icon every window's default icon. The PNG renderings
// beside iconPath are used where they exist: gdk-pixbuf decodes PNG itself,
// whereas an SVG loads librsvg and its dependencies (several MiB of the
// shell's memory) for this one image. Without either the windows keep a
// generic icon.
void setDefaultWindowIcon(const std::string& iconPath);

// "<directory>/<name>-<size>.png" for "<directory>/<name>.svg".
std::string iconRenderingPath(const std::string& iconPath, int size);

}  // namespace lumivant::gtk
