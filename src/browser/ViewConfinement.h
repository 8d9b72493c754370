#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/Host.h"

namespace lumivant {

// Keeps the web view's pages to the local backend: before a page of the
// backend loads, the view presents the backend's secret to it and refuses the
// pages every other port of a loopback address (WebView::confineToBackend).
// The confinement begins as soon as the backend's port is known, so that it
// is mostly in place by the time the backend is ready; an organisation
// server's pages are shown without it. Main thread only.
class ViewConfinement {
 public:
  ViewConfinement(WebView& view, std::string cookieName);
  ~ViewConfinement();
  ViewConfinement(const ViewConfinement&) = delete;
  ViewConfinement& operator=(const ViewConfinement&) = delete;

  // A backend that answers secret listens on port: the view's confinement to
  // it begins, unless it is in place or under way already.
  void prepare(uint16_t port, const std::string& secret);
  // Runs confined once the view is confined to port and secret (at once when
  // it is), or failed with the engine's reason when it cannot be. One wait at
  // a time: a later one takes the place of one still waiting.
  void whenConfined(uint16_t port, const std::string& secret, std::function<void()> confined,
                    std::function<void(const std::string& reason)> failed);
  // The backend ended and its port may be anybody's: the view presents no
  // secret and refuses the pages every loopback port until the next
  // backend's confinement.
  void withdraw();
  // For an organisation server: nothing presented, nothing refused.
  void lift();

 private:
  struct State;
  void finished(uint64_t attempt, const std::optional<std::string>& error);

  WebView& view_;
  const std::string cookieName_;
  // Shared with the view's completions, which hold it weakly.
  std::shared_ptr<State> state_;
};

}  // namespace lumivant
