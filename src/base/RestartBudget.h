#pragma once

#include <chrono>
#include <deque>

namespace lumivant {

// How often something may be started again by itself: at most limit times
// within any window. Whatever brings itself down each time it starts would
// otherwise be started again in a loop. The caller gives the time, so the
// budget is the same rule under any clock.
class RestartBudget {
 public:
  using Clock = std::chrono::steady_clock;

  RestartBudget(int limit, Clock::duration window) : limit_(limit), window_(window) {}

  int limit() const { return limit_; }
  // Whether a restart at now stays within the budget; a restart allowed counts.
  bool allow(Clock::time_point now);
  // Forgets every restart counted so far: the next ones get the whole budget.
  void reset() { restarts_.clear(); }

 private:
  int limit_;
  Clock::duration window_;
  std::deque<Clock::time_point> restarts_;  // those allowed within the last window, oldest first
};

}  // namespace lumivant
