#include "backend/LogTail.h"

#include <random>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace lumivant {
namespace {

using testing::TempDir;
using testing::writeFile;

// The tail as the whole file gives it: split at line feeds, blank pieces
// dropped, the last 25 joined.
std::string wholeFileTail(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::string joined;
  for (size_t i = lines.size() > 25 ? lines.size() - 25 : 0; i < lines.size(); ++i) {
    if (!joined.empty()) joined += '\n';
    joined += lines[i];
  }
  return joined;
}

std::string numberedLines(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

class LogTailTest : public ::testing::Test {
 protected:
  std::string tailOf(const std::string& contents) {
    writeFile(path, contents);
    return tailOfLogFile(path);
  }
  TempDir dir;
  std::string path = dir / "backend.log";
};

TEST_F(LogTailTest, ThirtyLinesGiveTheLastTwentyFiveInOrder) {
  std::string expected = numberedLines(6, 30);
  expected.pop_back();
  EXPECT_EQ(tailOf(numberedLines(1, 30)), expected);
}

struct TailCase {
  const char* name;
  std::string contents;
  std::string tail;
};

class LogTailTableTest : public LogTailTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(LogTailTableTest, GivesTheExpectedText) {
  EXPECT_EQ(tailOf(GetParam().contents), GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogTailTableTest,
    ::testing::Values(
        TailCase{"Empty", "", ""}, TailCase{"OnlyBlankLines", "\n\n\n\n", ""},
        TailCase{"NoFinalLineFeed", "a\nb", "a\nb"},
        TailCase{"BlankLinesBetweenAreDropped", "\n\na\n\n\nb\n\n", "a\nb"},
        TailCase{"CarriageReturnsStay", "a\r\nb\r\n", "a\r\nb\r"},
        TailCase{"FewerThanTwentyFive", "one\ntwo\nthree\n", "one\ntwo\nthree"},
        TailCase{"MultiByteText", "启动中……\n后端 <就绪> & 完成\n", "启动中……\n后端 <就绪> & 完成"},
        TailCase{"BlankLinesDoNotCountTowardsTwentyFive",
                 numberedLines(1, 20) + std::string(40, '\n') + numberedLines(21, 30),
                 wholeFileTail(numberedLines(1, 30))},
        // Bad bytes cost a replacement character each, never the tail.
        TailCase{"InvalidByteBecomesAReplacementCharacter", "fine\nbroken \xC3\x28 byte\nfine\n",
                 "fine\nbroken \uFFFD( byte\nfine"},
        TailCase{"TruncatedCharacterAtTheEndIsReplacedOnce", "fine\n\xE5\x90", "fine\n\uFFFD"},
        TailCase{"EncodedSurrogateIsReplaced", "a\n\xED\xA0\x80\n", "a\n\uFFFD\uFFFD\uFFFD"},
        TailCase{"NulBecomesAReplacementCharacter", std::string("a\0b\n", 4), "a\uFFFDb"},
        TailCase{"LatinOneTextStaysReadable", "caf\xE9 ok\n", "caf\uFFFD ok"},
        // Damage before the last 25 lines lies in a part that is never read.
        TailCase{"InvalidUtf8BeforeTheTailIsNotRead", "\xFF\xFE\n" + numberedLines(1, 25),
                 wholeFileTail(numberedLines(1, 25))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogTailTest, MissingOrUnreadableFileGivesNothing) {
  EXPECT_EQ(tailOfLogFile(dir / "missing.log"), "");
  EXPECT_EQ(tailOfLogFile(dir.str()), "") << "a directory";
}

TEST_F(LogTailTest, MatchesTheWholeFileTailAcrossBlockBoundaries) {
  // Lines of every length from empty to several blocks long, with multi-byte
  // characters, so that line and character boundaries fall on every side of
  // the 64 KiB blocks.
  std::mt19937 random(20240611);
  const std::vector<std::string> pieces = {"a", "é", "研究", "🧪", " ", "<&>"};
  for (int round = 0; round < 40; ++round) {
    std::string text;
    const int lines = std::uniform_int_distribution<int>(0, 60)(random);
    for (int i = 0; i < lines; ++i) {
      const int kind = std::uniform_int_distribution<int>(0, 9)(random);
      const int length = kind == 0  ? 0
                         : kind < 8 ? std::uniform_int_distribution<int>(1, 80)(random)
                                    : std::uniform_int_distribution<int>(1, 60000)(random);
      for (int j = 0; j < length; ++j) text += pieces[random() % pieces.size()];
      text += '\n';
    }
    if (random() % 2) text += "unfinished";
    writeFile(path, text);
    ASSERT_EQ(tailOfLogFile(path), wholeFileTail(text)) << "round " << round;
  }
}

TEST_F(LogTailTest, ByteLimitCutsTheOldestLineAtACharacterBoundary) {
  // Two 3-byte characters and a line feed per line, 21 bytes: the last 12
  // begin with the last byte of the middle line's first character.
  writeFile(path, "研究\n研究\n研究\n");
  EXPECT_EQ(tailOfLogFile(path, 25, 12), "究\n研究");
  EXPECT_EQ(tailOfLogFile(path, 25, 10), "研究");
  EXPECT_EQ(tailOfLogFile(path, 2, 1000), "研究\n研究");
  EXPECT_EQ(tailOfLogFile(path, 0, 1000), "");
}

TEST_F(LogTailTest, ReadsTheFileAsItIsNowWhileItGrows) {
  writeFile(path, numberedLines(1, 3));
  EXPECT_EQ(tailOfLogFile(path), "line 1\nline 2\nline 3");
  std::ofstream(path, std::ios::app) << "line 4\n";
  EXPECT_EQ(tailOfLogFile(path), "line 1\nline 2\nline 3\nline 4");
}

}  // namespace
}  // namespace lumivant
