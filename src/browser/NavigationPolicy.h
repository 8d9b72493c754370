#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "base/Url.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Clicked links with these schemes are handed to the system.
inline constexpr std::array<std::string_view, 3> externalSchemes = {"https", "http", "mailto"};

// Whether url belongs to the backend whose base address is base.
bool isLocal(const Url& url, const std::optional<Url>& base);

// What to do with a navigation, and whether to hand its URL to the system first.
struct NavigationDecision {
  NavigationActionPolicy policy;
  bool openExternally = false;
};
NavigationDecision decideNavigationAction(const NavigationAction& action,
                                          const std::optional<Url>& base);

// Whether a Content-Disposition header value asks for an attachment: its
// disposition type, the token before any parameter, is "attachment" in any case.
bool isAttachmentDisposition(std::string_view contentDisposition);

// A response the page asks to be saved, or that the view cannot show, becomes
// a download; the rest is shown.
NavigationResponsePolicy decideNavigationResponse(const NavigationResponse& response);

// What to do with a request for a new window; no window is ever made.
enum class NewWindowEffect { none, loadInWebView, openExternally };
NewWindowEffect decideNewWindow(const NavigationAction& action, const std::optional<Url>& base);

}  // namespace lumivant
