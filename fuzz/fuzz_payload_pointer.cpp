#include <cstddef>
#include <cstdint>
#include <string>

#include "selfupdate/PayloadPointer.h"

// Whatever current.json holds, an accepted version is a non-empty text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  if (auto version = lumivant::readPayloadVersion(contents)) {
    if (version->empty()) __builtin_trap();
  }
  return 0;
}
