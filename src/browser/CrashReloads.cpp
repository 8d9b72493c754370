#include "browser/CrashReloads.h"

namespace lumivant {

bool CrashReloadBudget::allowReload(Clock::time_point now) {
  // A reload exactly kWindow ago no longer counts.
  while (!reloads_.empty() && now - reloads_.front() >= kWindow) reloads_.pop_front();
  if (reloads_.size() >= static_cast<size_t>(kMaxReloads)) return false;
  reloads_.push_back(now);
  return true;
}

}  // namespace lumivant
