#pragma once

// How the window system and the desktop know the shell: the desktop entry is
// lumivant.desktop, so the Wayland app id (the program name) is "lumivant", and
// the X11 window class is "Lumivant", which the entry's StartupWMClass names.
// Task bars match windows to the entry, and its icon, by these.
namespace lumivant::gtk {

inline constexpr const char* kApplicationId = "lumivant";
inline constexpr const char* kWindowClass = "Lumivant";

}  // namespace lumivant::gtk
