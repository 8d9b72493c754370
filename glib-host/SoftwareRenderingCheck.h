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

// GTK sets up OpenGL for an X display as it opens it, to choose the visuals
// OpenGL would draw on, and so loads the display's driver: on a server
// without direct rendering that is Mesa's software driver and LLVM, tens of
// milliseconds of the main thread before the web process can start, and
// several MiB that stay. The shell's windows never draw with OpenGL there
// (the engine draws without compositing), so while one of these lives, GTK
// is told to leave OpenGL alone (GDK_GL=disable) when the display it is about
// to open is such an X server and the user has not asked for the engine's
// compositing, whose frames GTK's OpenGL would show; GTK reads that as it
// starts. Asking the server
// takes a connection of its own and one round trip; the connection stays
// open while this object lives, since an X server whose last client goes
// resets itself (Xvfb does) and would turn GTK's connection away for a
// moment. The variable goes again with this object, so that no program the
// shell starts inherits it; a value the user set is left as it is.
class ToolkitOpenGLOffOnSoftwareXServer {
 public:
  ToolkitOpenGLOffOnSoftwareXServer();
  ~ToolkitOpenGLOffOnSoftwareXServer();
  ToolkitOpenGLOffOnSoftwareXServer(const ToolkitOpenGLOffOnSoftwareXServer&) = delete;
  ToolkitOpenGLOffOnSoftwareXServer& operator=(const ToolkitOpenGLOffOnSoftwareXServer&) = delete;

  // Whether the display about to be opened is an X server that offers no
  // direct rendering, as this found it.
  bool softwareXServer() const { return software_; }

 private:
  Display* server_ = nullptr;
  bool software_ = false;
  bool set_ = false;
};

// Where the engine draws without compositing on an X server that offers no
// direct rendering, nothing in the shell's own process draws with OpenGL; yet
// the engine sets up an EGL display there as it starts its first web process,
// which loads Mesa's software driver and LLVM: some 45 MiB of the shell's
// memory, and tens of milliseconds of its main thread while the web process
// starts. So libglvnd, which reads its list of drivers once, at the first EGL
// call, is shown none in this process, and the variable that says so goes
// again at once: the web process, which draws the pages, and every other
// program the shell starts find the system's drivers as before. A driver list
// the user set is left alone.
void keepOpenGLDriversOutOfTheShellsProcess();

// Whether GTK opens an X display rather than a Wayland one, from GDK_BACKEND,
// WAYLAND_DISPLAY and DISPLAY as GTK reads them: GTK tries Wayland first
// unless GDK_BACKEND names X11 first. Each may be null (unset).
bool toolkitOpensX11(const char* gdkBackend, const char* waylandDisplay, const char* x11Display);

// The switches are for the shell's own engine: a program the shell launches
// for the user (a link's default handler) starts without them, unless they
// were the user's to begin with.
void keepRenderingSwitchesToTheShell(GAppLaunchContext* context);

}  // namespace lumivant::gtk
