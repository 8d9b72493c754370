#pragma once

#include <optional>
#include <string>

#include "host/WebViewDelegate.h"
#include "pages/MessagePages.h"

namespace lumivant {

// Watches the first page of a backend or organisation server that has just
// answered: if it never finishes loading, that is a start-up failure like any
// other and must end in a message page, not in a blank window. Later loads are
// not watched. Each event that makes the first page a failure returns the
// message page to show; the watch then ends.
class FirstPageWatch {
 public:
  // The first page was requested from url.
  void pageRequested(std::string url);
  // Something else took over the view (a message page): nothing to watch any more.
  void stop() { state_ = State::idle; }
  bool isWatching() const { return state_ != State::idle; }

  void committed() {
    if (state_ == State::requested) state_ = State::committed;
  }
  void finished() { state_ = State::idle; }
  std::optional<FirstPageFailed> failed(const NavigationFailure& failure);
  // A navigation to target was refused as not local. Before the first page has
  // had any answer only its own redirects navigate, so that one led it away.
  std::optional<FirstPageFailed> refusedNavigation(const std::string& target);

 private:
  enum class State { idle, requested, committed };
  FirstPageFailed fail(LoadProblem problem);

  State state_ = State::idle;
  std::string url_;
};

}  // namespace lumivant
