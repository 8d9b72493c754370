#pragma once

#include <functional>
#include <string>

namespace lumivant::gtk {

// Hands an absolute URL to the user's default application for its scheme, as
// GIO finds it (x-scheme-handler/<scheme> in mimeapps.list and the desktop
// files). Returns at once; failed runs later on the main loop with GIO's
// reason when there is no handler or it could not be started.
void openWithDefaultHandler(const std::string& url,
                            std::function<void(const std::string& reason)> failed);

}  // namespace lumivant::gtk
