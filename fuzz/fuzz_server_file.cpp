#include <cstddef>
#include <cstdint>
#include <string>

#include "orgserver/ServerFile.h"

// Whatever the file holds, an accepted server is an http or https URL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  if (auto url = lumivant::parseServerFile(contents)) {
    if (url->scheme() != "http" && url->scheme() != "https") __builtin_trap();
  }
  return 0;
}
