#include "selfupdate/ElfExecutable.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/UniqueFd.h"

namespace lumivant {

namespace {

// The offset of e_machine, the same in both classes of header.
constexpr size_t kMachineOffset = EI_NIDENT + sizeof(uint16_t);

std::string endsPast(const std::string& what, uint64_t end, uint64_t size) {
  return "it ends at byte " + std::to_string(size) + ", but " + what + " ends at byte " +
         std::to_string(end);
}

// start + count * entrySize, or nothing when that overflows.
std::optional<uint64_t> tableEnd(uint64_t start, uint64_t count, uint64_t entrySize) {
  uint64_t length = 0;
  uint64_t end = 0;
  if (__builtin_mul_overflow(count, entrySize, &length)) return {};
  if (__builtin_add_overflow(start, length, &end)) return {};
  return end;
}

template <typename Ehdr, typename Phdr, typename Shdr>
std::optional<std::string> checkLayout(const ReadAt& readAt, uint64_t size,
                                       const ElfIdentity& identity) {
  Ehdr header{};
  if (size < sizeof header || !readAt(0, &header, sizeof header))
    return "it ends inside its ELF header";
  if (header.e_type != ET_EXEC && header.e_type != ET_DYN)
    return "it is no executable (ELF type " + std::to_string(header.e_type) + ")";
  if (header.e_machine != identity.machine)
    return "it is built for ELF machine " + std::to_string(header.e_machine) +
           ", this shell runs on ELF machine " + std::to_string(identity.machine);

  // A table whose count does not fit in its header field keeps the count in
  // the first section header.
  Shdr first{};
  const bool hasSections = header.e_shoff != 0;
  if (hasSections) {
    if (header.e_shentsize != sizeof(Shdr))
      return "its section headers have the wrong size (" + std::to_string(header.e_shentsize) + ")";
    const auto firstEnd = tableEnd(header.e_shoff, 1, sizeof(Shdr));
    if (!firstEnd || *firstEnd > size)
      return endsPast("its section header table", firstEnd.value_or(UINT64_MAX), size);
    if (!readAt(header.e_shoff, &first, sizeof first)) return "its section headers cannot be read";
  }

  uint64_t programHeaders = header.e_phnum;
  if (header.e_phnum == PN_XNUM && hasSections) programHeaders = first.sh_info;
  if (programHeaders == 0 || header.e_phentsize != sizeof(Phdr)) return "it has no program headers";
  const auto programEnd = tableEnd(header.e_phoff, programHeaders, sizeof(Phdr));
  if (!programEnd || *programEnd > size)
    return endsPast("its program header table", programEnd.value_or(UINT64_MAX), size);
  std::vector<Phdr> segments(programHeaders);
  if (!readAt(header.e_phoff, segments.data(), segments.size() * sizeof(Phdr)))
    return "its program headers cannot be read";
  for (size_t i = 0; i < segments.size(); ++i) {
    if (segments[i].p_type != PT_LOAD) continue;
    const auto segmentEnd = tableEnd(segments[i].p_offset, 1, segments[i].p_filesz);
    if (!segmentEnd || *segmentEnd > size)
      return endsPast("its loadable segment " + std::to_string(i), segmentEnd.value_or(UINT64_MAX),
                      size);
  }

  if (hasSections) {
    const uint64_t sections = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const auto sectionEnd = tableEnd(header.e_shoff, sections, sizeof(Shdr));
    if (!sectionEnd || *sectionEnd > size)
      return endsPast("its section header table", sectionEnd.value_or(UINT64_MAX), size);
  }
  return {};
}

}  // namespace

std::optional<ElfIdentity> runningElfIdentity() {
  UniqueFd fd(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
  unsigned char start[kMachineOffset + sizeof(uint16_t)];
  if (!fd || ::pread(fd.get(), start, sizeof start, 0) != static_cast<ssize_t>(sizeof start))
    return {};
  if (std::memcmp(start, ELFMAG, SELFMAG) != 0) return {};
  ElfIdentity identity;
  identity.elfClass = start[EI_CLASS];
  identity.dataEncoding = start[EI_DATA];
  // The running executable's byte order is this process's own.
  std::memcpy(&identity.machine, start + kMachineOffset, sizeof identity.machine);
  return identity;
}

std::optional<std::string> elfExecutableProblem(const ReadAt& readAt, uint64_t size,
                                                const ElfIdentity& identity) {
  unsigned char ident[EI_NIDENT];
  if (size < SELFMAG || !readAt(0, ident, SELFMAG) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
    return std::string("it is not an ELF file");
  if (size < EI_NIDENT || !readAt(0, ident, EI_NIDENT)) return "it ends inside its ELF header";
  if (ident[EI_CLASS] != identity.elfClass)
    return "its ELF class is " + std::to_string(ident[EI_CLASS]) + ", this shell's is " +
           std::to_string(identity.elfClass);
  if (ident[EI_DATA] != identity.dataEncoding)
    return "its byte order is " + std::to_string(ident[EI_DATA]) + ", this shell's is " +
           std::to_string(identity.dataEncoding);
  if (ident[EI_VERSION] != EV_CURRENT)
    return "its ELF version is " + std::to_string(ident[EI_VERSION]);
  // Once class and byte order are this machine's, the headers read as they lie.
  if (ident[EI_CLASS] == ELFCLASS64)
    return checkLayout<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(readAt, size, identity);
  if (ident[EI_CLASS] == ELFCLASS32)
    return checkLayout<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(readAt, size, identity);
  return "its ELF class " + std::to_string(ident[EI_CLASS]) + " is unknown";
}

std::optional<std::string> elfExecutableProblem(int fd, uint64_t size,
                                                const ElfIdentity& identity) {
  const ReadAt readAt = [fd](uint64_t offset, void* out, size_t length) {
    auto* bytes = static_cast<char*>(out);
    while (length > 0) {
      const ssize_t count = ::pread(fd, bytes, length, static_cast<off_t>(offset));
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return false;
      bytes += count;
      offset += static_cast<uint64_t>(count);
      length -= static_cast<size_t>(count);
    }
    return true;
  };
  return elfExecutableProblem(readAt, size, identity);
}

}  // namespace lumivant
