#include "orgserver/Connection.h"

#include "app/AppDelegate.h"

namespace lumivant {

// Placeholder until the organisation-server connection lands.
std::string probeUrlFor(const Url& base) { return base.absoluteString() + "health/ready"; }
std::string connectionFailureText(const Url&, const std::string&, const std::string&) { return {}; }
void AppDelegate::connectTo(const Url&) {}

}  // namespace lumivant
