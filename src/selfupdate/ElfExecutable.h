#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lumivant {

// What an ELF file says about the machine it runs on.
struct ElfIdentity {
  unsigned char elfClass = 0;      // ELFCLASS32 or ELFCLASS64
  unsigned char dataEncoding = 0;  // ELFDATA2LSB or ELFDATA2MSB
  uint16_t machine = 0;            // EM_X86_64, EM_AARCH64, ...
};

// The identity of the executable this process runs from; nothing when it
// cannot be read.
std::optional<ElfIdentity> runningElfIdentity();

// Reads exactly length bytes at offset into out; false when it cannot.
using ReadAt = std::function<bool(uint64_t offset, void* out, size_t length)>;

// Nothing when the file of size bytes behind readAt is a whole ELF executable
// for a machine of the given identity: its class, byte order and machine are
// the identity's, it is an executable or position-independent executable, and
// its program headers, loadable segments and section header table all lie
// within the file. Otherwise a description of the first thing that is wrong,
// which names no path ("it is not an ELF file", "it ends at byte 4096, but
// its section header table ends at byte 812345").
std::optional<std::string> elfExecutableProblem(const ReadAt& readAt, uint64_t size,
                                                const ElfIdentity& identity);

// The same for an open file, read with pread.
std::optional<std::string> elfExecutableProblem(int fd, uint64_t size, const ElfIdentity& identity);

}  // namespace lumivant
