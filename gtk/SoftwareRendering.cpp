#include "SoftwareRendering.h"

#include <epoxy/egl.h>
#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

namespace lumivant::gtk {

namespace {

constexpr char kCompositingSwitch[] = "WEBKIT_DISABLE_COMPOSITING_MODE";

// Whether the shell set the switch, rather than finding it set.
bool switchIsTheShells = false;

EGLDisplay eglDisplayFor(GdkDisplay* display) {
  if (GDK_IS_X11_DISPLAY(display)) {
    return eglGetPlatformDisplayEXT(EGL_PLATFORM_X11_KHR, gdk_x11_display_get_xdisplay(display),
                                    nullptr);
  }
  if (GDK_IS_WAYLAND_DISPLAY(display)) {
    return eglGetPlatformDisplayEXT(EGL_PLATFORM_WAYLAND_KHR,
                                    gdk_wayland_display_get_wl_display(display), nullptr);
  }
  return EGL_NO_DISPLAY;
}

}  // namespace

bool displayRendersInSoftware(GdkDisplay* display) {
  if (!display || !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base") ||
      !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_device_query")) {
    return false;
  }
  EGLDisplay egl = eglDisplayFor(display);
  if (egl == EGL_NO_DISPLAY || !eglInitialize(egl, nullptr, nullptr)) return false;
  // Mesa marks its software device with EGL_MESA_device_software.
  EGLAttrib device = 0;
  if (!eglQueryDisplayAttribEXT(egl, EGL_DEVICE_EXT, &device) || !device) return false;
  const char* extensions =
      eglQueryDeviceStringEXT(reinterpret_cast<EGLDeviceEXT>(device), EGL_EXTENSIONS);
  // The display stays initialised: the engine initialises the same one next,
  // and terminating it would unload the driver the engine then loads again.
  return extensions && epoxy_extension_in_string(extensions, "EGL_MESA_device_software");
}

void drawWithoutCompositingOnSoftwareDisplay(GdkDisplay* display) {
  switchIsTheShells = false;
  if (g_getenv(kCompositingSwitch)) return;
  if (displayRendersInSoftware(display)) {
    switchIsTheShells = g_setenv(kCompositingSwitch, "1", FALSE);
  }
}

void keepCompositingSwitchToTheShell(GAppLaunchContext* context) {
  if (switchIsTheShells && context) g_app_launch_context_unsetenv(context, kCompositingSwitch);
}

}  // namespace lumivant::gtk
