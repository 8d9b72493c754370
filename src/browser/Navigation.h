#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Url.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Keeps the web view on the backend's own pages: asks the navigation policy
// about every navigation, response and new-window request, and carries out
// what it decides (handing an address to the system, loading a local one).
// Owns the base address against which locality is judged.
class Navigation {
 public:
  Navigation(Host& host, WebView& webView) : host_(host), webView_(webView) {}

  // Called with the target of every navigation that was refused as not local.
  std::function<void(const std::string& target)> onRefused;

  // The backend or server whose pages are the app's own; nothing while none is ready.
  void setBase(std::optional<Url> base) { base_ = std::move(base); }
  const std::optional<Url>& base() const { return base_; }

  NavigationActionPolicy decideAction(const NavigationAction& action);
  NavigationResponsePolicy decideResponse(const NavigationResponse& response);
  // No second window is ever made: a local link meant for one loads here.
  void createWebViewFor(const NavigationAction& action);

 private:
  Host& host_;
  WebView& webView_;
  std::optional<Url> base_;
};

}  // namespace lumivant
