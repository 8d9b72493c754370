#include "base/FileReading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace lumivant {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

}  // namespace

UniqueFd openRegularFileForReading(const std::string& path, std::error_code& error) {
  // Non-blocking so that a FIFO cannot hold the open; the flag is dropped
  // again once the file is known to be a regular one.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    error = lastError();
    return {};
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    error = lastError();
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory
                                                         : std::errc::invalid_argument);
    return {};
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  error.clear();
  return fd;
}

std::error_code readInBlocks(const std::string& path,
                             const std::function<void(std::string_view block)>& consume) {
  std::error_code error;
  UniqueFd fd = openRegularFileForReading(path, error);
  if (!fd) return error;
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (count == 0) return {};
    consume(std::string_view(buffer.data(), static_cast<size_t>(count)));
  }
}

std::optional<std::string> readWholeFile(const std::string& path) {
  std::string contents;
  if (readInBlocks(path, [&](std::string_view block) { contents.append(block); })) return {};
  return contents;
}

std::error_code writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    bytes.remove_prefix(static_cast<size_t>(count));
  }
  return {};
}

}  // namespace lumivant
