#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumivant {

struct FileDigest {
  std::string sha256;  // 64 lower-case hexadecimal digits
  uint64_t size = 0;   // the number of bytes hashed
};

// The hash and size of one read of the whole file; nothing when it cannot be read.
std::optional<FileDigest> digestOfFile(const std::string& path);

// The same for an open file, read from its first byte.
std::optional<FileDigest> digestOfFile(int fd);

// The hash text of the file's whole content; nothing when it cannot be read.
std::optional<std::string> sha256(const std::string& path);

}  // namespace lumivant
