#include "DesktopNotifications.h"

#include "GObjectPtr.h"

namespace lumivant::gtk {

void sendDesktopNotification(GApplication* application, const DesktopNotification& notification) {
  // GLib names the sender by the process's application name, which may be
  // set only once; every notification of a process carries the same one.
  static const bool named = [&notification] {
    g_set_application_name(notification.applicationName.c_str());
    return true;
  }();
  (void)named;
  auto shown = GObjectPtr<GNotification>::adopt(g_notification_new(notification.title.c_str()));
  if (!notification.body.empty()) g_notification_set_body(shown.get(), notification.body.c_str());
  if (!notification.iconPath.empty()) {
    auto file = GObjectPtr<GFile>::adopt(g_file_new_for_path(notification.iconPath.c_str()));
    auto icon = GObjectPtr<GIcon>::adopt(g_file_icon_new(file.get()));
    g_notification_set_icon(shown.get(), icon.get());
  }
  // Without an id each notification stands on its own, as the page's do.
  g_application_send_notification(application, nullptr, shown.get());
}

}  // namespace lumivant::gtk
