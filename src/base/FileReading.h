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

// The whole content of a regular file; nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// The whole content of a regular file of at most limit bytes; nothing when it
// cannot be read or is larger. Never holds more than limit + 1 bytes, however
// large the file is or grows while it is read.
std::optional<std::string> readWholeFile(const std::string& path, size_t limit);

// Writes every byte, continuing after short writes and interruptions.
std::error_code writeAll(int fd, std::string_view bytes);

}  // namespace lumivant
