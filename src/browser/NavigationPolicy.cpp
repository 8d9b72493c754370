#include "browser/NavigationPolicy.h"

namespace lumivant {

// Placeholder until the navigation policy lands: only about: is local.
bool isLocal(const Url& url, const std::optional<Url>&) { return url.scheme() == "about"; }
NavigationDecision decideNavigationAction(const NavigationAction&, const std::optional<Url>&) {
  return {NavigationActionPolicy::allow, false};
}
NavigationResponsePolicy decideNavigationResponse(const NavigationResponse&) {
  return NavigationResponsePolicy::allow;
}
NewWindowEffect decideNewWindow(const NavigationAction&, const std::optional<Url>&) {
  return NewWindowEffect::none;
}

}  // namespace lumivant
