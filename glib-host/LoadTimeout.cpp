#include "LoadTimeout.h"

#include <utility>

#include "host/Host.h"

namespace lumivant::gtk {

void LoadTimeout::start(double seconds) {
  cancel();
  started_ = false;
  stopWhenStarted_ = false;
  if (seconds > 0) timer_ = g_timeout_add(static_cast<guint>(seconds * 1000), onTimedOut, this);
}

void LoadTimeout::withdraw() {
  cancel();
  stopWhenStarted_ = false;
}

void LoadTimeout::loadStarted() {
  started_ = true;
  if (std::exchange(stopWhenStarted_, false)) {
    // The time-out passed before the engine even began this load.
    stopLoading_();
  } else {
    timedOut_ = false;
    // A load the page began itself (a link, a form, back, reload) has the
    // time-out every request has unless it was given another.
    if (timer_ == 0) {
      timer_ = g_timeout_add(static_cast<guint>(Request{}.timeoutSeconds * 1000), onTimedOut, this);
    }
  }
}

void LoadTimeout::cancel() {
  if (timer_ != 0) g_source_remove(std::exchange(timer_, 0));
}

gboolean LoadTimeout::onTimedOut(gpointer self) {
  auto* timeout = static_cast<LoadTimeout*>(self);
  timeout->timer_ = 0;
  // Stopping fails the load, as a request that timed out does. A load that
  // the engine has not begun yet (its web process still starting) cannot be
  // stopped: it is stopped as soon as it begins.
  timeout->timedOut_ = true;
  if (timeout->started_) {
    timeout->stopLoading_();
  } else {
    timeout->stopWhenStarted_ = true;
  }
  return G_SOURCE_REMOVE;
}

}  // namespace lumivant::gtk
