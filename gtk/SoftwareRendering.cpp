#include "SoftwareRendering.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

namespace lumivant::gtk {

NativeDisplay nativeDisplayOf(GdkDisplay* display) {
  NativeDisplay native;
  if (!display) return native;
  if (GDK_IS_X11_DISPLAY(display)) native.x11 = gdk_x11_display_get_xdisplay(display);
  if (GDK_IS_WAYLAND_DISPLAY(display)) {
    native.wayland = gdk_wayland_display_get_wl_display(display);
  }
  return native;
}

bool displayRendersInSoftware(GdkDisplay* display) {
  return displayRendersInSoftware(nativeDisplayOf(display));
}

void drawWithoutCompositingOnSoftwareDisplay(GdkDisplay* display) {
  drawWithoutCompositingOnSoftwareDisplay(nativeDisplayOf(display));
}

}  // namespace lumivant::gtk
