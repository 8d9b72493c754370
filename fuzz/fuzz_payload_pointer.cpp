#include <cstddef>
#include <cstdint>
#include <string>

#include "selfupdate/PayloadPointer.h"

// Whatever current.json holds, an accepted version names exactly one
// directory under payload/: not empty, no "." or "..", no "/", no control
// character.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  if (auto version = lumivant::readPayloadVersion(contents)) {
    if (version->empty() || *version == "." || *version == "..") __builtin_trap();
    for (const char c : *version) {
      if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
    }
  }
  return 0;
}
