#pragma once

#include <gio/gio.h>

#include <string>
#include <vector>

// The window systems' own handles, which every toolkit hands out.
using Display = struct _XDisplay;
struct wl_display;

namespace lumivant::gtk {

// A display as its window system's client library knows it: an X server's
// connection or a Wayland compositor's, or neither when there is no display.
struct NativeDisplay {
  Display* x11 = nullptr;
  wl_display* wayland = nullptr;
};

// Whether the display's OpenGL draws on the processor: Mesa's llvmpipe or
// softpipe, as under Xvfb, in most virtual machines and on remote desktops
// (Xvnc, xrdp) even when the machine has a GPU. False when the driver is a
// GPU's, and when it cannot be told (no EGL, or a driver that does not say).
bool displayRendersInSoftware(const NativeDisplay& display);

// Whether an X server with these extensions lets a client render on a GPU.
bool offersDirectRendering(const std::vector<std::string>& serverExtensions);

// On such a display the engine's accelerated compositing renders every frame
// through that OpenGL, in the shell's process and in the web process: the web
// process takes about 85 MiB more, and the first page comes later, for no
// faster drawing. There the engine is told to draw without it
// (WEBKIT_DISABLE_COMPOSITING_MODE, which its web processes inherit, and
// WEBKIT_DISABLE_DMABUF_RENDERER for the buffers compositing would pass),
// unless the environment already says either way about compositing: that is
// the user's choice.
//
// To be called on the main thread once the display is open and before the
// engine starts: the engine reads the variables when it makes its first web
// context. The other threads then are GLib's and GDBus's workers, which do
// not read the environment: glibc's setenv may move the array of variables
// (the first call copies it, a later one may reallocate that copy).
void drawWithoutCompositingOnSoftwareDisplay(const NativeDisplay& display);

// The switches themselves, for whatever display: each is set unless it
// already is, and the ones set here are the shell's from now on.
void drawWithoutCompositing();

// Whether the engine draws without compositing, as it reads the switch: set
// and other than "0", whoever set it.
bool engineCompositingIsOff();

// The switches are for the shell's own engine: a program the shell launches
// for the user (a link's default handler) starts without them, unless they
// were the user's to begin with.
void keepRenderingSwitchesToTheShell(GAppLaunchContext* context);

}  // namespace lumivant::gtk
