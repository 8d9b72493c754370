// What the launches of a shell on probation call for, as one table.

#include "selfupdate/ProbationRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lumivant {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAreArray;
using Kind = ProbationVerdict::Kind;

constexpr LaunchLife running = LaunchLife::running;
constexpr LaunchLife ended = LaunchLife::ended;
constexpr LaunchLife otherBoot = LaunchLife::otherBoot;

struct Case {
  const char* name;
  std::vector<SeenLaunch> launches;
  Kind kind;
  std::string reason = {};
  std::chrono::milliseconds wait = 0ms;
  std::vector<size_t> hung = {};
  std::vector<size_t> forgotten = {};
};

const Case kCases[] = {
    {"no launch yet", {}, Kind::keep},
    {"a launch with its window up", {{11, running, true, 60s}}, Kind::keep},
    {"a launch on its way to its window gets the rest of the limit",
     {{11, running, false, 5s}},
     Kind::waitForStart,
     {},
     15s},
    {"the soonest of two decides when to look again",
     {{11, running, false, 5s}, {12, running, false, 12s}},
     Kind::waitForStart,
     {},
     8s},
    {"a launch that ended without quitting after its window",
     {{11, ended, true, 0s}},
     Kind::rollBack,
     "its launch as process 11 ended without quitting after its window showed"},
    {"a launch that ended before its window",
     {{11, ended, false, 0s}},
     Kind::rollBack,
     "its launch as process 11 ended without quitting before it showed its window"},
    {"a launch without its window at the limit hangs",
     {{11, running, false, 20s}},
     Kind::rollBack,
     "its launch as process 11 did not show its window within 20 s and was stopped",
     0s,
     {0}},
    {"a failure does not wait for a launch still starting, and names the first failure",
     {{11, running, false, 3s}, {12, ended, true, 0s}, {13, running, false, 25s}},
     Kind::rollBack,
     "its launch as process 12 ended without quitting after its window showed",
     0s,
     {2}},
    {"the machine going down under a launch says nothing about the shell",
     {{11, otherBoot, false, 0s}, {12, running, true, 40s}},
     Kind::keep,
     {},
     0s,
     {},
     {0}},
};

TEST(ProbationRulesTest, EachWayTheLaunchesAreFoundLeadsToItsVerdict) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const ProbationVerdict verdict = judgeLaunches(c.launches, 20s);
    EXPECT_EQ(verdict.kind, c.kind);
    EXPECT_EQ(verdict.reason, c.reason);
    EXPECT_EQ(verdict.wait, c.wait);
    EXPECT_THAT(verdict.hung, ElementsAreArray(c.hung));
    EXPECT_THAT(verdict.forgotten, ElementsAreArray(c.forgotten));
  }
}

}  // namespace
}  // namespace lumivant
