// The message page's HTML from the template the bundle carries.

#include "pages/MessagePageHtml.h"

#include <gtest/gtest.h>

#include "support/RecordingHost.h"

namespace lumivant {
namespace {

const MessagePageTemplate kBundled{testing::messagePageTemplateText()};

// What the page shows in its <pre> block, as written into the document.
std::string shownMessage(const std::string& html) {
  const size_t begin = html.find("<pre>") + 5;
  return html.substr(begin, html.rfind("</pre>") - begin);
}

TEST(MessagePageHtmlTest, TheBundledTemplateGivesTheShellsHeadAndTail) {
  const std::string head =
      "<html><head><meta charset=\"utf-8\"><style>\n"
      "  :root { color-scheme: light dark; }\n"
      "  body { font: 13px/1.6 -apple-system, system-ui, sans-serif;\n"
      "         margin: 0; padding: 48px; }\n"
      "  h1 { font-size: 15px; margin: 0 0 16px; }\n"
      "  pre { white-space: pre-wrap; font-size: 11px; opacity: .75;\n"
      "        border-left: 2px solid currentColor; padding-left: 12px; }\n"
      "</style></head><body>\n"
      "  <h1>";
  const std::string tail = "</pre>\n</body></html>";
  EXPECT_EQ(kBundled.html(""), head + "没能启动</h1><pre>" + tail);
  EXPECT_EQ(kBundled.html("x", kLaterHeading), head + "出错了</h1><pre>x" + tail);
}

struct EscapeCase {
  std::string message;
  std::string shown;
};

class MessageEscapingTest : public ::testing::TestWithParam<EscapeCase> {};

// Nothing of the message can close the block or open markup, and the reader
// sees exactly the text given.
TEST_P(MessageEscapingTest, OnlyAmpersandsAndAngleBracketsAreEscaped) {
  EXPECT_EQ(shownMessage(kBundled.html(GetParam().message)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageEscapingTest,
    ::testing::Values(EscapeCase{"a < b & c", "a &lt; b &amp; c"}, EscapeCase{"&lt;", "&amp;lt;"},
                      EscapeCase{"</pre><script>x</script>", "&lt;/pre>&lt;script>x&lt;/script>"},
                      EscapeCase{"x > y \"q\" 'r'", "x > y \"q\" 'r'"},
                      EscapeCase{"第一行\n\n第三行\n", "第一行\n\n第三行\n"},
                      EscapeCase{"&&<<", "&amp;&amp;&lt;&lt;"},
                      // The template's placeholders in a message are text like any other.
                      EscapeCase{"{{heading}} {{message}}", "{{heading}} {{message}}"}));

TEST(MessagePageHtmlTest, ATemplateWithoutItsPlaceholdersStillShowsTheMessage) {
  EXPECT_EQ(MessagePageTemplate("<p>\n").html("a < b", "出错了"), "<p>a &lt; b");
  EXPECT_EQ(MessagePageTemplate("").html("a"), "a");
}

}  // namespace
}  // namespace lumivant
