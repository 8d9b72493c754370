#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/UniqueFd.h"

namespace lumivant {

// Opens a regular file for reading. Anything else (a directory, a FIFO that
// would block the launch, a device) is refused with an error.
UniqueFd openRegularFileForReading(const std::string& path, std::error_code& error);

// Hands the file's bytes to consume block by block, in order, from one open
// and one pass over the file. An error when it cannot be opened or read.
std::error_code readInBlocks(const std::string& path,
                             const std::function<void(std::string_view block)>& consume);

// The same over an open descriptor, from its first byte whatever its offset.
std::error_code readInBlocks(int fd, const std::function<void(std::string_view block)>& consume);

// The whole content of a regular file, however large; nothing when it cannot
// be read. For the kernel's own files under /proc, which report no size.
std::optional<std::string> readWholeFile(const std::string& path);

// Whether a symbolic link in place of the file itself is followed. A file the
// shell writes by renaming over it is never a link unless something else made
// it one; a file that others write may legitimately be one.
enum class Links { follow, refuse };

// What reading a small file found. A file that is there but is not what can
// stand at its place (not a regular file, a refused link, over the bound) is
// damaged; one the system would not give (permissions, I/O, no descriptors
// left) is unreadable, and may well be whole.
enum class FileState { ok, missing, unreadable, damaged };

struct FileRead {
  FileState state = FileState::missing;
  std::string text;  // the whole content when ok, else empty
};

// The one way the shell reads its small files, its own state and the few it
// is given: opened without blocking (a FIFO cannot hold the caller), only as a
// regular file, and read up to limit bytes. Never holds more than limit + 1
// bytes, however large the file is or grows while it is read.
FileRead readFileUpTo(const std::string& path, size_t limit, Links links);

// The whole content of a regular file of at most limit bytes, symbolic links
// followed; nothing when it cannot be read or is larger.
std::optional<std::string> readWholeFile(const std::string& path, size_t limit);

// Writes every byte, continuing after short writes and interruptions.
std::error_code writeAll(int fd, std::string_view bytes);

}  // namespace lumivant
