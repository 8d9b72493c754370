#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "selfupdate/LaunchStamp.h"
#include "selfupdate/RelaunchedShell.h"

namespace lumivant {

// How many launches a swapped-in shell must get through, each with its window
// up, the app's first page loaded and an end by quitting, before the previous
// shell beside it is removed.
inline constexpr int kProvingLaunches = 3;

// How long any launch of a shell on probation may take to show its window:
// the same limit the shell that swapped it gives it.
inline constexpr std::chrono::milliseconds kProbationStartLimit = kNewShellStartLimit;

// One launch of a shell on probation, as seen now.
struct SeenLaunch {
  int64_t pid = 0;
  LaunchLife life = LaunchLife::running;
  bool window = false;
  std::chrono::milliseconds age{0};
};

// What the launches of a shell on probation call for.
struct ProbationVerdict {
  enum class Kind {
    // Nothing has gone wrong.
    keep,
    // A launch is still on its way to its window: judge again within wait.
    waitForStart,
    // A launch ended without quitting, or never showed its window in time:
    // the previous shell goes back.
    rollBack,
  };
  Kind kind = Kind::keep;
  std::chrono::milliseconds wait{0};
  // For rollBack: what happened, naming no path.
  std::string reason;
  // Indexes of launches still running without a window past the limit: they
  // are ended before the previous shell goes back.
  std::vector<size_t> hung;
  // Indexes of launches of an earlier boot: the machine went down under them,
  // which says nothing about the shell, and they are forgotten.
  std::vector<size_t> forgotten;
};

// The rule, over what is seen of each launch now.
ProbationVerdict judgeLaunches(const std::vector<SeenLaunch>& launches,
                               std::chrono::milliseconds startLimit = kProbationStartLimit);

}  // namespace lumivant
