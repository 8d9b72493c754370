// Each press of 后退 or 前进 shows another page the user saw.

#include "browser/HistorySteps.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

const std::string kTree = "http://127.0.0.1:8888/tree";
const std::string kNotebook = "http://127.0.0.1:8888/notebooks/Untitled.ipynb";
const std::string kHelp = "http://127.0.0.1:8888/help";

TEST(HistoryStepsTest, PassesOverEntriesThatShowThePageShownNow) {
  const struct {
    const char* name = "";
    BackForwardItems items;
    HistoryDirection direction = HistoryDirection::back;
    std::optional<int> steps;
  } cases[] = {
      {"nothing back", {{}, {kHelp}, kTree}, HistoryDirection::back, std::nullopt},
      {"one page back", {{kTree}, {}, kNotebook}, HistoryDirection::back, -1},
      {"one page forward", {{}, {kNotebook}, kTree}, HistoryDirection::forward, 1},
      // New > Notebook: the menu's "#" link, then the notebook loaded.
      {"a menu's empty fragment",
       {{kTree + "#", kTree}, {}, kTree},
       HistoryDirection::back,
       std::nullopt},
      {"from the notebook past the menu's entry",
       {{kTree + "#", kTree}, {}, kNotebook},
       HistoryDirection::back,
       -1},
      {"from the tree's fragment entry",
       {{kTree, kHelp}, {}, kTree + "#"},
       HistoryDirection::back,
       -2},
      {"a page that pushed its own address",
       {{kNotebook, kNotebook, kTree}, {}, kNotebook},
       HistoryDirection::back,
       -3},
      {"forward past repeats",
       {{}, {kTree + "#", kTree, kNotebook}, kTree},
       HistoryDirection::forward,
       3},
      // A fragment that names something is a place of its own (a hash route).
      {"a named fragment", {{kTree + "#/running"}, {}, kTree}, HistoryDirection::back, -1},
      {"no current entry", {{kTree}, {}, std::nullopt}, HistoryDirection::back, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(historySteps(c.items, c.direction), c.steps) << c.name;
  }
}

TEST(HistoryStepsTest, TheTargetIsTheEntryTheStepsReach) {
  const BackForwardItems items{{kNotebook, kTree + "#", kTree}, {kHelp}, kNotebook};
  EXPECT_EQ(historyTarget(items, HistoryDirection::back), kTree + "#");
  EXPECT_EQ(historyTarget(items, HistoryDirection::forward), kHelp);
  EXPECT_EQ(historyTarget({{kTree}, {}, kTree}, HistoryDirection::back), std::nullopt);
}

}  // namespace
}  // namespace lumivant
