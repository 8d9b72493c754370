#include "base/RestartBudget.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumivant {
namespace {

using namespace std::chrono_literals;

TEST(RestartBudgetTest, AllowsTheLimitWithinAnyWindowAndForgetsOnReset) {
  RestartBudget budget(3, 60s);
  const auto t0 = RestartBudget::Clock::time_point{} + 1000s;
  const std::vector<std::pair<std::chrono::seconds, bool>> table = {
      {0s, true},   {10s, true},  {20s, true},  {59s, false},  // a fourth within 60 s
      {60s, true},                                             // the one at 0 s has aged out
      {65s, false}, {70s, true},                               // 10 s aged out at 70 s
      {200s, true}, {200s, true}, {200s, true}, {200s, false},
  };
  for (const auto& [at, allowed] : table) {
    EXPECT_EQ(budget.allow(t0 + at), allowed) << "at " << at.count() << " s";
  }
  budget.reset();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(budget.allow(t0 + 200s)) << i;
  EXPECT_FALSE(budget.allow(t0 + 200s));
}

}  // namespace
}  // namespace lumivant
