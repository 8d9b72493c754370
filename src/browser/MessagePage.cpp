#include "browser/MessagePage.h"

namespace lumivant {

namespace {

constexpr std::string_view kHeadBeforeHeading =
    "<html><head><meta charset=\"utf-8\"><style>\n"
    "  :root { color-scheme: light dark; }\n"
    "  body { font: 13px/1.6 -apple-system, system-ui, sans-serif;\n"
    "         margin: 0; padding: 48px; }\n"
    "  h1 { font-size: 15px; margin: 0 0 16px; }\n"
    "  pre { white-space: pre-wrap; font-size: 11px; opacity: .75;\n"
    "        border-left: 2px solid currentColor; padding-left: 12px; }\n"
    "</style></head><body>\n"
    "  <h1>";
constexpr std::string_view kHeadAfterHeading = "</h1><pre>";

constexpr std::string_view kTail = "</pre>\n</body></html>";

}  // namespace

// Only "&" and "<" are escaped, ampersands first so that the entities written
// for "<" are not escaped again. Inside <pre> that is enough to show any text.
// The heading is the shell's own text and is not escaped.
std::string messagePageHtml(std::string_view message, std::string_view heading) {
  std::string html;
  html.reserve(kHeadBeforeHeading.size() + heading.size() + kHeadAfterHeading.size() +
               message.size() + kTail.size() + 16);
  html.append(kHeadBeforeHeading);
  html.append(heading);
  html.append(kHeadAfterHeading);
  for (const char c : message) {
    if (c == '&') {
      html.append("&amp;");
    } else if (c == '<') {
      html.append("&lt;");
    } else {
      html.push_back(c);
    }
  }
  html.append(kTail);
  return html;
}

}  // namespace lumivant
