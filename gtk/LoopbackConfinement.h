#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "GObjectPtr.h"
#include "host/Host.h"

namespace lumivant::gtk {

// The engine's half of WebView::confineToBackend. The secret goes into the
// view's cookie jar as an HttpOnly cookie of 127.0.0.1, which WebKit
// sends with every request to that host, WebSocket handshakes included. Since
// a cookie goes to every port of its host, a content filter then blocks every
// request of the pages to a loopback address (127.0.0.0/8, localhost and its
// subdomains, ::1 and the other addresses that begin with ::, 0.0.0.0), on any
// scheme, WebSockets included, except to the backend's own port of 127.0.0.1.
// The engine matches the filter against the address as it parsed it, so
// spellings such as 2130706433 or 0x7f.1 are caught as 127.0.0.1.
//
// A filter is compiled once for each port and kept in filterDirectory, from
// which later runs load it.
class LoopbackConfinement {
 public:
  using Done = std::function<void(std::optional<std::string> error)>;

  LoopbackConfinement(WebKitWebView* view, WebKitCookieManager* cookies,
                      std::string filterDirectory);
  // Whatever is under way is cancelled; its done never runs.
  ~LoopbackConfinement();
  LoopbackConfinement(const LoopbackConfinement&) = delete;
  LoopbackConfinement& operator=(const LoopbackConfinement&) = delete;

  // Without a port and a secret: the cookie taken back, every loopback port
  // refused.
  void confine(const BackendConfinement& confinement, Done done);
  // Takes the cookie of that name back, whichever run presented it.
  void lift(const std::string& cookieName);

  // One confine() under way, shared with its asynchronous steps.
  struct Attempt;

 private:
  GObjectPtr<WebKitUserContentManager> contents_;
  GObjectPtr<WebKitCookieManager> cookies_;
  const std::string filterDirectory_;
  std::shared_ptr<Attempt> current_;
};

// The content filter's rules for a backend on port, in the engine's content
// blocker format (a JSON array of rules).
std::string loopbackFilterRules(uint16_t port);

}  // namespace lumivant::gtk
