#include <cstddef>
#include <cstdint>
#include <string_view>

#include "browser/MessagePage.h"

// The message can never close the <pre> block or open markup: no "<" of its
// own survives, and unescaping gives the message back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  const std::string html = lumivant::messagePageHtml(message);
  constexpr size_t kHead = 402, kTail = 21;
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
