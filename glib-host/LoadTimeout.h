#pragma once

#include <glib.h>

#include <functional>
#include <utility>

namespace lumivant::gtk {

// The time-out of a web view's request: a load that has had no answer by then
// is stopped, which fails it. WebKitGTK has no time-out of its own per request.
class LoadTimeout {
 public:
  // stopLoading stops the view's current load, which fails it.
  explicit LoadTimeout(std::function<void()> stopLoading) : stopLoading_(std::move(stopLoading)) {}
  ~LoadTimeout() { cancel(); }
  LoadTimeout(const LoadTimeout&) = delete;
  LoadTimeout& operator=(const LoadTimeout&) = delete;

  // A request is about to be loaded; seconds <= 0 sets no time-out.
  void start(double seconds);
  // A page of the shell's own is about to be loaded: it needs no time-out,
  // and a stop still waiting for the last request must not hit it.
  void withdraw();
  // The engine has begun a load: the one last requested, or one the page
  // began itself, which gets a request's usual time-out.
  void loadStarted();
  // The server has answered or the load has ended: the time-out no longer applies.
  void cancel();
  // Whether the current load was stopped by the time-out.
  bool timedOut() const { return timedOut_; }

 private:
  static gboolean onTimedOut(gpointer self);

  const std::function<void()> stopLoading_;
  guint timer_ = 0;
  bool timedOut_ = false;
  // Whether the engine has begun the load last requested, and whether it is
  // to be stopped as soon as it does.
  bool started_ = false;
  bool stopWhenStarted_ = false;
};

}  // namespace lumivant::gtk
