#include "selfupdate/ProbationRules.h"

#include <algorithm>
#include <optional>

#include "selfupdate/ShellTrial.h"

namespace lumivant {

ProbationVerdict judgeLaunches(const std::vector<SeenLaunch>& launches,
                               std::chrono::milliseconds startLimit) {
  ProbationVerdict verdict;
  std::string failure;
  std::optional<std::chrono::milliseconds> soonestDecided;
  for (size_t i = 0; i < launches.size(); ++i) {
    const SeenLaunch& launch = launches[i];
    const std::string process = "its launch as process " + std::to_string(launch.pid);
    if (launch.life == LaunchLife::otherBoot) {
      verdict.forgotten.push_back(i);
    } else if (launch.life == LaunchLife::ended) {
      if (failure.empty())
        failure = process + " ended without quitting" +
                  (launch.window ? " after its window showed" : " before it showed its window");
    } else if (!launch.window && launch.age >= startLimit) {
      verdict.hung.push_back(i);
      if (failure.empty())
        failure = process + " did not show its window within " + describeDuration(startLimit) +
                  " and was stopped";
    } else if (!launch.window) {
      const std::chrono::milliseconds left = startLimit - launch.age;
      soonestDecided = soonestDecided ? std::min(*soonestDecided, left) : left;
    }
  }
  if (!failure.empty()) {
    verdict.kind = ProbationVerdict::Kind::rollBack;
    verdict.reason = failure;
  } else if (soonestDecided) {
    verdict.kind = ProbationVerdict::Kind::waitForStart;
    verdict.wait = *soonestDecided;
  }
  return verdict;
}

}  // namespace lumivant
