#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Url.h"
#include "browser/NavigationPolicy.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Keeps the web view on the backend's own pages: asks the navigation policy
// about every navigation, response and new-window request, and carries out
// what it decides (handing an address to the system, loading a local one).
// Owns the base address against which locality is judged, and the limit on
// hand-overs; a hand-over the system cannot carry out is alerted on window.
class Navigation {
 public:
  Navigation(Host& host, WebView& webView, Window& window)
      : host_(host), webView_(webView), window_(window) {}

  // Called with the target of every navigation that was refused as not local.
  std::function<void(const std::string& target)> onRefused;

  // The backend or server whose pages are the app's own; nothing while none is ready.
  void setBase(std::optional<Url> base) { base_ = std::move(base); }
  const std::optional<Url>& base() const { return base_; }

  NavigationActionPolicy decideAction(const NavigationAction& action);
  NavigationResponsePolicy decideResponse(const NavigationResponse& response);
  // No second window is ever shown: a local link meant for one loads here,
  // and a window that script opens on the user's click gets a stand-in (true)
  // whose first navigation, openedWindowNavigation, is carried out as a click
  // in the one web view.
  bool createWebViewFor(const NavigationAction& action);
  void openedWindowNavigation(const NavigationAction& action);

 private:
  void carryOut(NewWindowEffect effect, const NavigationAction& action);
  // Hands url to the system within the limit; a failure is alerted.
  void handOver(const std::string& url, GestureId gesture);

  Host& host_;
  WebView& webView_;
  Window& window_;
  std::optional<Url> base_;
  HandOverLimit handOvers_;
  // Lets a hand-over's late failure tell whether this object is still there.
  const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumivant
