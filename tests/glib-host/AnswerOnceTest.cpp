#include "AnswerOnce.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lumivant::gtk {
namespace {

TEST(AnswerOnceTest, FirstCallAnswersAndLaterCallsAreIgnored) {
  std::vector<std::optional<std::string>> answers;
  auto answer = answerOnce<std::optional<std::string>>(
      [&](const std::optional<std::string>& value) { answers.push_back(value); }, {std::nullopt});
  auto copy = answer;
  copy("first");
  answer("second");
  copy = nullptr;
  answer = nullptr;
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], "first");
}

TEST(AnswerOnceTest, DroppingEveryCopyUnansweredGivesTheFallbackOnce) {
  std::vector<bool> answers;
  {
    auto answer = answerOnce<bool>([&](bool value) { answers.push_back(value); }, {false});
    auto copy = answer;
  }
  EXPECT_EQ(answers, std::vector<bool>{false});
}

TEST(AnswerOnceTest, AnswerWithoutArguments) {
  int calls = 0;
  {
    auto answer = answerOnce<>([&] { ++calls; }, {});
  }
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace lumivant::gtk
