#pragma once

#include <array>
#include <chrono>
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
  NavigationActionPolicy policy = NavigationActionPolicy::cancel;
  bool openExternally = false;
};
NavigationDecision decideNavigationAction(const NavigationAction& action,
                                          const std::optional<Url>& base);

// Whether a Content-Disposition header value asks for an attachment: its
// disposition type, the token before any parameter, is "attachment" in any case.
bool isAttachmentDisposition(std::string_view value);

// A response the page asks to be saved, or that the view cannot show, becomes
// a download; the rest is shown.
NavigationResponsePolicy decideNavigationResponse(const NavigationResponse& response);

// What to do with a request for a new window; no window is ever shown. A
// window that script opens on the user's click gets a stand-in that is never
// shown, since pages such as Jupyter's open an empty window first and give it
// its address later (w = window.open(''); w.location = url).
enum class NewWindowEffect { none, loadInWebView, openExternally, standIn };
NewWindowEffect decideNewWindow(const NavigationAction& action, const std::optional<Url>& base);

// The stand-in's first navigation, decided as if the user had clicked a link
// to its address in the one web view: loadInWebView, openExternally or none.
NewWindowEffect decideOpenedWindowNavigation(const NavigationAction& action,
                                             const std::optional<Url>& base);

// How often addresses are handed to the system: at most one for each of the
// user's gestures, and at most one a second, so that a page that clicks an
// outside link from a key handler cannot open the user's browser once per key.
class HandOverLimit {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kInterval = std::chrono::seconds(1);

  // Whether a hand-over for gesture (0: unknown) may go ahead at now; one that
  // may counts.
  bool allow(GestureId gesture, Clock::time_point now);

 private:
  std::optional<Clock::time_point> last_;
  GestureId lastGesture_ = 0;
};

// The alert shown when the system could not open a handed-over address.
struct HandOverFailureText {
  std::string messageText;
  std::string informativeText;
};
HandOverFailureText handOverFailureText(const std::string& url, const std::string& reason);

}  // namespace lumivant
