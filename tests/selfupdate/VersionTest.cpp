#include "selfupdate/Version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivant {
namespace {

using ::testing::ElementsAreArray;

struct ParseCase {
  std::string text;
  std::vector<int64_t> expected;
};

class ParseVersionTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseVersionTest, GivesTheComponentsOfTheCore) {
  EXPECT_THAT(parseVersion(GetParam().text), ElementsAreArray(GetParam().expected))
      << "text: \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    PlainCores, ParseVersionTest,
    ::testing::Values(ParseCase{"1.2.3", {1, 2, 3}}, ParseCase{"1.2", {1, 2, 0}},
                      ParseCase{"7", {7, 0, 0}}, ParseCase{"1.2.3.4", {1, 2, 3, 4}},
                      ParseCase{"1.2.3.4.5.6", {1, 2, 3, 4, 5, 6}},
                      ParseCase{"007.01.0", {7, 1, 0}},
                      ParseCase{"9223372036854775807", {9223372036854775807, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    PreReleaseAndBuildCuts, ParseVersionTest,
    ::testing::Values(ParseCase{"1.2.3-beta.1", {1, 2, 3}}, ParseCase{"1.2.3+build.7", {1, 2, 3}},
                      ParseCase{"1.2.3+build-5", {1, 2, 3}}, ParseCase{"-1.2", {1, 2, 0}},
                      ParseCase{"--1.2-rc", {1, 2, 0}}, ParseCase{"1.2.3-beta-2", {1, 2, 3}},
                      ParseCase{"+5", {5, 0, 0}}, ParseCase{"-", {0, 0, 0}},
                      ParseCase{"---", {0, 0, 0}}, ParseCase{"+", {0, 0, 0}},
                      ParseCase{"++", {0, 0, 0}}, ParseCase{"+-1", {0, 0, 0}},
                      ParseCase{"", {0, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(EmptyPieces, ParseVersionTest,
                         ::testing::Values(ParseCase{"1..3", {1, 0, 3}}, ParseCase{"1.", {1, 0, 0}},
                                           ParseCase{".5", {0, 5, 0}},
                                           ParseCase{"1.2.3.", {1, 2, 3, 0}},
                                           ParseCase{"...", {0, 0, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(LeadingNumericRuns, ParseVersionTest,
                         ::testing::Values(ParseCase{"2a.3b", {2, 3, 0}},
                                           ParseCase{"1.x.3", {1, 0, 3}},
                                           ParseCase{"v1.2.3", {0, 2, 3}},
                                           ParseCase{" 1.2", {0, 2, 0}},
                                           ParseCase{"1.2 ", {1, 2, 0}}));

// Characters that Unicode calls numeric but that are not ASCII digits spoil
// the whole run they belong to; a run that overflows counts as 0, not as the
// largest value.
INSTANTIATE_TEST_SUITE_P(
    NumericButNotAscii, ParseVersionTest,
    ::testing::Values(ParseCase{"99999999999999999999.1", {0, 1, 0}},
                      ParseCase{"9223372036854775808", {0, 0, 0}},
                      ParseCase{"1.\uFF12", {1, 0, 0}},     // full-width two
                      ParseCase{"12\u00BD.1", {0, 1, 0}},   // twelve and a half
                      ParseCase{"1.2\u0301.3", {1, 0, 3}},  // two with an acute accent
                      ParseCase{"12\u4E09.4", {0, 4, 0}},   // CJK numeral three after 12
                      ParseCase{"\u0663.1", {0, 1, 0}},     // Arabic-Indic three
                      ParseCase{"1.2\u00B2", {1, 0, 0}},    // superscript two
                      ParseCase{"\u2167.1", {0, 1, 0}},     // Roman numeral eight
                      ParseCase{"1\u00E9.2", {1, 2, 0}},    // a letter ends the run
                      ParseCase{"1\xFF.2", {1, 2, 0}}));    // invalid UTF-8 is no digit

// A dot or dash that a combining mark attaches to is another character and
// separates nothing.
INSTANTIATE_TEST_SUITE_P(SeparatorsAreWholeCharacters, ParseVersionTest,
                         ::testing::Values(ParseCase{"1.\u03012", {1, 0, 0}},
                                           ParseCase{"1-\u0301.2", {1, 2, 0}}));

struct CompareCase {
  std::string candidate;
  std::string current;
  bool newer;
};

class IsNewerVersionTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(IsNewerVersionTest, ComparesComponentsLexicographically) {
  EXPECT_EQ(isNewerVersion(GetParam().candidate, GetParam().current), GetParam().newer)
      << "\"" << GetParam().candidate << "\" against \"" << GetParam().current << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Newer, IsNewerVersionTest,
    ::testing::Values(CompareCase{"1.2.10", "1.2.9", true}, CompareCase{"1.10", "1.9.9", true},
                      CompareCase{"2.0", "1.99.99", true}, CompareCase{"1.2.3.1", "1.2.3", true},
                      CompareCase{"1.3.0-beta", "1.2.9", true},
                      CompareCase{"9223372036854775807", "9223372036854775806", true}));

INSTANTIATE_TEST_SUITE_P(
    NotNewer, IsNewerVersionTest,
    ::testing::Values(CompareCase{"1.2", "1.2.0.0", false}, CompareCase{"1.2.0.0", "1.2", false},
                      CompareCase{"1.2.0-rc1", "1.2.0", false},
                      CompareCase{"1.2.0+42", "1.2", false}, CompareCase{"1.2.3", "1.2.3", false},
                      CompareCase{"garbage", "garbage", false},
                      CompareCase{"1.2.9", "1.2.10", false}, CompareCase{"v2.0.0", "1.0.0", false},
                      CompareCase{"99999999999999999999", "1", false}));

}  // namespace
}  // namespace lumivant
