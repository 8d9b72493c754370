#include "base/ProcStat.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace lumivant {
namespace {

// A stat line as the kernel writes it, with the given command name and the
// fields after it: state, parent, group, and the start time as the 22nd field.
std::string statLine(const std::string& name, const std::string& state = "S") {
  return "4242 (" + name + ") " + state +
         " 17 4242 4242 0 -1 4194560 98 0 0 0 0 0 0 0 20 0 1 0 2504408 3133440 408 "
         "18446744073709551615 94899195822080 0 0 0 0 17 1 0 0\n";
}

TEST(ProcStatTest, CountsFieldsFromTheLastParenthesisAndRefusesLinesCutShort) {
  struct Case {
    const char* what;
    std::string line;
    std::optional<char> state;  // nothing: the line is refused
  };
  const std::string full = statLine("python3");
  const std::vector<Case> table = {
      {"an ordinary name", full, 'S'},
      {"spaces and parentheses in the name", statLine("a (b) c"), 'S'},
      {"a name that looks like fields", statLine("x) R 1 1 (y"), 'S'},
      {"a name of a lone parenthesis", statLine(")"), 'S'},
      {"a zombie", statLine("sleep", "Z"), 'Z'},
      {"no line feed at the end", full.substr(0, full.size() - 1), 'S'},
      {"cut before the start time", full.substr(0, full.find(" 2504408")), std::nullopt},
      {"cut right after the name", "4242 (python3) ", std::nullopt},
      {"cut inside the name", "4242 (pyth", std::nullopt},
      {"empty", "", std::nullopt},
      {"a state of two letters", statLine("sleep", "SZ"), std::nullopt},
      {"a parent that is no number", "4242 (a) S 1x" + full.substr(full.find(" 4242 4242")),
       std::nullopt},
  };
  for (const Case& c : table) {
    const std::optional<ProcStat> stat = parseProcStat(c.line);
    ASSERT_EQ(stat.has_value(), c.state.has_value()) << c.what;
    if (!stat) continue;
    EXPECT_EQ(stat->state, *c.state) << c.what;
    EXPECT_EQ(stat->parent, 17) << c.what;
    EXPECT_EQ(stat->group, 4242) << c.what;
    EXPECT_EQ(stat->startTime, 2504408ULL) << c.what;
  }
}

TEST(ProcStatTest, ReadsThisProcessAndNothingOfOneThatIsNotThere) {
  const std::optional<ProcStat> self = readProcStat(::getpid());
  ASSERT_TRUE(self);
  EXPECT_EQ(self->state, 'R');
  EXPECT_EQ(self->parent, ::getppid());
  EXPECT_EQ(self->group, ::getpgrp());
  EXPECT_GT(self->startTime, 0ULL);
  EXPECT_FALSE(readProcStat(0));
}

}  // namespace
}  // namespace lumivant
