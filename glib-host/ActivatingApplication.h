#pragma once

#include <gio/gio.h>

#include <string>

namespace lumivant::gtk {

// A GApplication that keeps the activation token a later launch sent with its
// activation (the platform data GtkApplication sends too), so that the window
// can be presented with it. A plain GApplication drops it.
GApplication* newActivatingApplication(const char* applicationId, GApplicationFlags flags);

// The token of the activation being emitted now; empty without one.
std::string activationTokenOf(GApplication* application);

// The platform data that hands this launch's token on: "activation-token" and
// "desktop-startup-id", from XDG_ACTIVATION_TOKEN (Wayland) or
// DESKTOP_STARTUP_ID (X11), whichever the launcher set.
GVariant* activationPlatformData();

}  // namespace lumivant::gtk
