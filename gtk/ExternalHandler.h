#pragma once

#include <string>

namespace lumivant::gtk {

// Hands an absolute URL to the user's default application for its scheme, as
// GIO finds it (x-scheme-handler/<scheme> in mimeapps.list and the desktop
// files). Returns at once; whether the handler started is not reported.
void openWithDefaultHandler(const std::string& url);

}  // namespace lumivant::gtk
