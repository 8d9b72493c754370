#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string_view>

#include "pages/MessagePageHtml.h"

namespace {

// The template the shell carries, as the source tree holds it.
lumivant::MessagePageTemplate bundledTemplate() {
  std::ifstream file(LUMIVANT_MESSAGE_PAGE_TEMPLATE, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return lumivant::MessagePageTemplate(text.str());
}

}  // namespace

// The message can never close the <pre> block or open markup: no "<" of its
// own survives, and unescaping gives the message back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const lumivant::MessagePageTemplate pageTemplate = bundledTemplate();
  static const std::string empty = pageTemplate.html("");
  static const size_t kHead = empty.find("<pre>") + 5, kTail = empty.size() - kHead;
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  const std::string html = pageTemplate.html(message);
  if (html.size() < kHead + kTail) __builtin_trap();
  const std::string_view body = std::string_view(html).substr(kHead, html.size() - kHead - kTail);
  if (body.find('<') != std::string_view::npos) __builtin_trap();
  std::string restored;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body.compare(i, 5, "&amp;") == 0) {
      restored.push_back('&');
      i += 4;
    } else if (body.compare(i, 4, "&lt;") == 0) {
      restored.push_back('<');
      i += 3;
    } else {
      restored.push_back(body[i]);
    }
  }
  if (restored != message) __builtin_trap();
  return 0;
}
