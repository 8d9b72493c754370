#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Url.h"
#include "browser/ContextMenuPolicy.h"
#include "browser/FormResubmission.h"
#include "browser/NavigationPolicy.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Keeps the web view on the backend's own pages: asks the navigation policy
// about every navigation, response and new-window request, and carries out
// what it decides (handing an address to the system, loading a local one).
// Owns the base address against which locality is judged, and the limit on
// hand-overs; a hand-over the system cannot carry out is alerted on window.
class Navigation final : public NavigationDelegate {
 public:
  Navigation(Host& host, WebView& webView, Window& window)
      : host_(host),
        webView_(webView),
        window_(window),
        resubmission_(std::make_shared<FormResubmission>(window, webView)) {}

  // Called with the target of every navigation that was refused as not local.
  std::function<void(const std::string& target)> onRefused;

  // The backend or server whose pages are the app's own, now serving them;
  // nothing before any is ready.
  void setBase(std::optional<Url> base) {
    base_ = std::move(base);
    serving_ = true;
  }
  const std::optional<Url>& base() const { return base_; }
  // The backend at the base has gone. Its address stays the app's own (a
  // restarted backend comes back on it), so nothing on it is handed to the
  // system; navigations to it are cancelled until setBase names the next one.
  void baseStoppedServing() { serving_ = false; }
  // A page committed in the view.
  void pageCommitted() { resubmission_->committed(); }
  // Whether url is one of the app's own pages: on the base, and no blank page.
  bool isAppAddress(const std::string& url) const;

  NavigationActionPolicy decideAction(const NavigationAction& action) override;
  NavigationResponsePolicy decideResponse(const NavigationResponse& response) override;
  // No second window is ever shown: a local link meant for one loads here,
  // and a window that script opens on the user's click gets a stand-in (true)
  // whose first navigation, openedWindowNavigation, is carried out as a click
  // in the one web view.
  bool createWebViewFor(const NavigationAction& action) override;
  void openedWindowNavigation(const NavigationAction& action) override;
  ContextMenuChoice decideContextMenuItem(ContextMenuItem item,
                                          const std::optional<std::string>& address) override;
  // Opens the link as a click on it would: here, or handed to the system.
  void openLinkChosen(const std::string& url, GestureId gesture) override;
  // There is no window to close but the shell's own: a page that closes
  // after the user's click (a notebook's "Close and Halt") returns the user
  // to the app's page they came from, or to the first page.
  void pageClosedItsWindow(bool afterUserGesture) override;

 private:
  void carryOut(NewWindowEffect effect, const NavigationAction& action);
  // Hands url to the system within the limit; a failure is alerted.
  void handOver(const std::string& url, GestureId gesture);

  // Whether the navigation would go to the base while nothing serves it.
  bool isHeld(const NavigationAction& action) const;

  Host& host_;
  WebView& webView_;
  Window& window_;
  std::optional<Url> base_;
  bool serving_ = true;
  HandOverLimit handOvers_;
  // Asks before a form's data is sent again.
  const std::shared_ptr<FormResubmission> resubmission_;
  // Lets a hand-over's late failure tell whether this object is still there.
  const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumivant
