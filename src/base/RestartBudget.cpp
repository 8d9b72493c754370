#include "base/RestartBudget.h"

namespace lumivant {

bool RestartBudget::allow(Clock::time_point now) {
  // A restart exactly one window ago no longer counts.
  while (!restarts_.empty() && now - restarts_.front() >= window_) restarts_.pop_front();
  if (restarts_.size() >= static_cast<size_t>(limit_)) return false;
  restarts_.push_back(now);
  return true;
}

}  // namespace lumivant
