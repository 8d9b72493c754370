#pragma once

#include <gdk/gdk.h>

#include "SoftwareRenderingCheck.h"

namespace lumivant::gtk {

// The window system's own handle of a GDK display, for the toolkit-free
// check; neither for a display that is neither X11 nor Wayland, or none.
NativeDisplay nativeDisplayOf(GdkDisplay* display);

// SoftwareRenderingCheck.h's, for a GDK display.
bool displayRendersInSoftware(GdkDisplay* display);
void drawWithoutCompositingOnSoftwareDisplay(GdkDisplay* display);

}  // namespace lumivant::gtk
