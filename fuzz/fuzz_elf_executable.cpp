#include <cstddef>
#include <cstdint>
#include <cstring>

#include "selfupdate/ElfExecutable.h"

// Any bytes are judged without reading outside them, and bytes without the
// ELF magic are never taken for an executable.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lumivant::ReadAt readAt = [&](uint64_t offset, void* out, size_t length) {
    if (offset > size || length > size - offset) return false;
    std::memcpy(out, data + offset, length);
    return true;
  };
  const lumivant::ElfIdentity x86_64{2, 1, 62};
  const auto problem = lumivant::elfExecutableProblem(readAt, size, x86_64);
  if (!problem && (size < 4 || std::memcmp(data,
                                           "\x7f"
                                           "ELF",
                                           4) != 0))
    __builtin_trap();
  return 0;
}
