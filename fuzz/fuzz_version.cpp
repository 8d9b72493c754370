#include <cstddef>
#include <cstdint>
#include <string_view>

#include "selfupdate/Version.h"

// Any text, valid UTF-8 or not, parses to at least three non-negative
// components, and no text is newer than itself.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parts = lumivant::parseVersion(text);
  if (parts.size() < 3) __builtin_trap();
  for (const int64_t part : parts)
    if (part < 0) __builtin_trap();
  if (lumivant::isNewerVersion(text, text)) __builtin_trap();
  const size_t half = size / 2;
  const std::string_view a = text.substr(0, half), b = text.substr(half);
  if (lumivant::isNewerVersion(a, b) && lumivant::isNewerVersion(b, a)) __builtin_trap();
  return 0;
}
