#include "browser/MessagePage.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

const std::string kHead =
    "<html><head><meta charset=\"utf-8\"><style>\n"
    "  :root { color-scheme: light dark; }\n"
    "  body { font: 13px/1.6 -apple-system, system-ui, sans-serif;\n"
    "         margin: 0; padding: 48px; }\n"
    "  h1 { font-size: 15px; margin: 0 0 16px; }\n"
    "  pre { white-space: pre-wrap; font-size: 11px; opacity: .75;\n"
    "        border-left: 2px solid currentColor; padding-left: 12px; }\n"
    "</style></head><body>\n"
    "  <h1>没能启动</h1><pre>";
const std::string kTail = "</pre>\n</body></html>";

TEST(MessagePageTest, EmptyMessageIsTheHeadThenTheTail) {
  EXPECT_EQ(kHead.size(), 402u);
  EXPECT_EQ(kTail.size(), 21u);
  EXPECT_EQ(messagePageHtml(""), kHead + kTail);
}

TEST(MessagePageTest, LaterPagesDifferOnlyInTheirHeading) {
  std::string later = kHead;
  later.replace(later.find("没能启动"), std::string("没能启动").size(), "出错了");
  EXPECT_EQ(messagePageHtml("a < b", kLaterHeading), later + "a &lt; b" + kTail);
}

struct EscapeCase {
  std::string message;
  std::string escaped;
};

class MessageEscapingTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(MessageEscapingTest, EscapesAmpersandsThenAngleBrackets) {
  EXPECT_EQ(messagePageHtml(GetParam().message), kHead + GetParam().escaped + kTail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageEscapingTest,
    ::testing::Values(EscapeCase{"a < b & c", "a &lt; b &amp; c"}, EscapeCase{"&lt;", "&amp;lt;"},
                      EscapeCase{"<script>alert(1)</script>", "&lt;script>alert(1)&lt;/script>"},
                      EscapeCase{"x > y \"q\" 'r'", "x > y \"q\" 'r'"},
                      EscapeCase{"第一行\n\n第三行\n", "第一行\n\n第三行\n"},
                      EscapeCase{"&&<<", "&amp;&amp;&lt;&lt;"}));

}  // namespace
}  // namespace lumivant
