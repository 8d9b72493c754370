#pragma once

#include <gio/gio.h>

#include "host/Host.h"

namespace lumivant::gtk {

// Sends the notification through the registered application to the desktop's
// notification service (org.freedesktop.Notifications, or the portal inside a
// sandbox), under the notification's application name and icon.
void sendDesktopNotification(GApplication* application, const DesktopNotification& notification);

}  // namespace lumivant::gtk
