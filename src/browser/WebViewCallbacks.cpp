// The web view's navigation callbacks on the application delegate: each asks
// the navigation policy and carries out its side effect before answering.

#include "app/AppDelegate.h"
#include "backend/Backend.h"
#include "browser/NavigationPolicy.h"

namespace lumivant {

std::optional<Url> AppDelegate::localityBase() const {
  if (origin) return origin;
  if (backend) return Url::parse(backend->url());
  return std::nullopt;
}

bool AppDelegate::isLocal(const Url& url) const { return lumivant::isLocal(url, localityBase()); }

NavigationActionPolicy AppDelegate::decidePolicyForNavigationAction(
    const NavigationAction& action) {
  const NavigationDecision decision = decideNavigationAction(action, localityBase());
  // The hand-over comes first, so the system has the URL before the engine
  // learns that the navigation was cancelled.
  if (decision.openExternally) host_.openExternally(*action.url);
  if (decision.policy == NavigationActionPolicy::cancel && action.url) {
    if (auto message = firstPage_.refusedNavigation(*action.url)) showMessageSoon(*message);
  }
  return decision.policy;
}

NavigationResponsePolicy AppDelegate::decidePolicyForNavigationResponse(
    const NavigationResponse& response) {
  return decideNavigationResponse(response);
}

// No second window is ever made: a local link meant for one loads here.
void AppDelegate::createWebViewFor(const NavigationAction& action) {
  switch (decideNewWindow(action, localityBase())) {
    case NewWindowEffect::loadInWebView:
      if (webView) webView->load(Request{*action.url});
      break;
    case NewWindowEffect::openExternally:
      host_.openExternally(*action.url);
      break;
    case NewWindowEffect::none:
      break;
  }
}

}  // namespace lumivant
