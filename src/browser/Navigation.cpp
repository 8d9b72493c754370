#include "browser/Navigation.h"

#include "browser/NavigationPolicy.h"

namespace lumivant {

NavigationActionPolicy Navigation::decideAction(const NavigationAction& action) {
  const NavigationDecision decision = decideNavigationAction(action, base_);
  // The hand-over comes first, so the system has the URL before the engine
  // learns that the navigation was cancelled.
  if (decision.openExternally) host_.openExternally(*action.url);
  if (decision.policy == NavigationActionPolicy::cancel && action.url && onRefused) {
    onRefused(*action.url);
  }
  return decision.policy;
}

NavigationResponsePolicy Navigation::decideResponse(const NavigationResponse& response) {
  return decideNavigationResponse(response);
}

void Navigation::createWebViewFor(const NavigationAction& action) {
  switch (decideNewWindow(action, base_)) {
    case NewWindowEffect::loadInWebView:
      webView_.load(Request{*action.url});
      break;
    case NewWindowEffect::openExternally:
      host_.openExternally(*action.url);
      break;
    case NewWindowEffect::none:
      break;
  }
}

}  // namespace lumivant
