#include "WindowIcons.h"

#include <gtk/gtk.h>

namespace lumivant::gtk {

std::string iconRenderingPath(const std::string& iconPath, int size) {
  const auto slash = iconPath.rfind('/');
  const auto dot = iconPath.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? iconPath.substr(0, dot) : iconPath;
  return stem + "-" + std::to_string(size) + ".png";
}

void setDefaultWindowIcon(const std::string& iconPath) {
  if (iconPath.empty()) return;
  GList* icons = nullptr;
  for (int size : kWindowIconSizes) {
    GdkPixbuf* icon = gdk_pixbuf_new_from_file(iconRenderingPath(iconPath, size).c_str(), nullptr);
    if (icon) icons = g_list_append(icons, icon);
  }
  if (icons) {
    gtk_window_set_default_icon_list(icons);
    g_list_free_full(icons, g_object_unref);
    return;
  }
  gtk_window_set_default_icon_from_file(iconPath.c_str(), nullptr);
}

}  // namespace lumivant::gtk
