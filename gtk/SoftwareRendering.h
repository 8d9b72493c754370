#pragma once

#include <gdk/gdk.h>

namespace lumivant::gtk {

// Whether the display's OpenGL draws on the processor: Mesa's llvmpipe or
// softpipe, as under Xvfb, in most virtual machines and on remote desktops
// (Xvnc, xrdp) even when the machine has a GPU. False when the driver is a
// GPU's, and when it cannot be told (no EGL, or a driver that does not say).
// Cheap once the engine has made its first web context, which initialises
// the same EGL display; before that it would load the driver itself.
bool displayRendersInSoftware(GdkDisplay* display);

}  // namespace lumivant::gtk
