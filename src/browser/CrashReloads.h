#pragma once

#include <chrono>
#include <deque>
#include <string_view>

namespace lumivant {

// Shown when the page's process keeps ending, instead of reloading for ever.
inline constexpr std::string_view kRepeatedCrashMessage =
    "页面反复崩溃，已停止自动重新载入。\n\n请关掉窗口，再打开一次。";

// How often the view may reload its page after the web content process ended:
// at most kMaxReloads times within any kWindow. A page that brings its process
// down each time it loads would otherwise reload in a loop.
class CrashReloadBudget {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kMaxReloads = 3;
  static constexpr Clock::duration kWindow = std::chrono::seconds(60);

  // Whether a reload at now stays within the budget; a reload allowed counts.
  bool allowReload(Clock::time_point now);

 private:
  std::deque<Clock::time_point> reloads_;  // the allowed reloads of the last kWindow, oldest first
};

}  // namespace lumivant
