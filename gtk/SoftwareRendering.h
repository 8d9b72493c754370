#pragma once

#include <gdk/gdk.h>

namespace lumivant::gtk {

// Whether the display's OpenGL draws on the processor: Mesa's llvmpipe or
// softpipe, as under Xvfb, in most virtual machines and on remote desktops
// (Xvnc, xrdp) even when the machine has a GPU. False when the driver is a
// GPU's, and when it cannot be told (no EGL, or a driver that does not say).
bool displayRendersInSoftware(GdkDisplay* display);

// On such a display the engine's accelerated compositing renders every frame
// through that OpenGL, in the shell's process and in the web process: the web
// process takes about 85 MiB more, and the first page comes later, for no
// faster drawing. There the engine is told to draw without it
// (WEBKIT_DISABLE_COMPOSITING_MODE, which its web processes inherit), unless
// the environment already says either way: that is the user's choice.
//
// To be called on the main thread once the display is open and before the
// engine starts: the engine reads the variable when it makes its first web
// context. No thread reads the environment meanwhile except GLib's idle
// workers, and glibc's first setenv copies the environment into an array of
// its own without freeing the one a reader may hold.
void drawWithoutCompositingOnSoftwareDisplay(GdkDisplay* display);

// The switch is for the shell's own engine: a program the shell launches for
// the user (a link's default handler) starts without it, unless it was the
// user's to begin with.
void keepCompositingSwitchToTheShell(GAppLaunchContext* context);

}  // namespace lumivant::gtk
