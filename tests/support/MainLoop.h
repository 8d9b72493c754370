#pragma once

#include <glib.h>

#include <functional>

namespace lumivant::testing {

// Runs the default main context until condition() holds or the time is up.
// Returns whether the condition held.
inline bool spinUntil(const std::function<bool()>& condition, double seconds = 15.0) {
  const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(seconds * G_USEC_PER_SEC);
  // A ticking source keeps each iteration from blocking past the deadline.
  const guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool held = condition();
  while (!held && g_get_monotonic_time() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    held = condition();
  }
  g_source_remove(tick);
  return held;
}

// Runs the main context for a while, for checking that something does not happen.
inline void spinFor(double seconds) {
  spinUntil([] { return false; }, seconds);
}

}  // namespace lumivant::testing
