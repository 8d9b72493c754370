// The web view's callbacks on the application delegate.

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

// Placeholders until the browser callbacks land.
NavigationActionPolicy AppDelegate::decidePolicyForNavigationAction(const NavigationAction&) {
  return NavigationActionPolicy::allow;
}
NavigationResponsePolicy AppDelegate::decidePolicyForNavigationResponse(const NavigationResponse&) {
  return NavigationResponsePolicy::allow;
}
void AppDelegate::createWebViewFor(const NavigationAction&) {}
void AppDelegate::decideDownloadDestination(const std::string&,
                                            std::function<void(std::optional<std::string>)> done) {
  done(std::nullopt);
}
void AppDelegate::downloadDidFail(const DownloadError&) {}
void AppDelegate::runJavaScriptAlert(const std::string&, std::function<void()> done) { done(); }
void AppDelegate::runJavaScriptConfirm(const std::string&, std::function<void(bool)> done) {
  done(false);
}
void AppDelegate::runOpenPanel(const OpenPanelParameters&,
                               std::function<void(std::optional<std::vector<std::string>>)> done) {
  done(std::nullopt);
}
void AppDelegate::didFinishNavigation() {}

}  // namespace lumivant
