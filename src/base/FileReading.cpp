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
  return readInBlocks(fd.get(), consume);
}

std::error_code readInBlocks(int fd, const std::function<void(std::string_view block)>& consume) {
  std::array<char, 1 << 16> buffer{};
  off_t offset = 0;
  for (;;) {
    const ssize_t count = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (count < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (count == 0) return {};
    offset += count;
    consume(std::string_view(buffer.data(), static_cast<size_t>(count)));
  }
}

std::optional<std::string> readWholeFile(const std::string& path) {
  std::string contents;
  if (readInBlocks(path, [&](std::string_view block) { contents.append(block); })) return {};
  return contents;
}

std::optional<std::string> readWholeFile(const std::string& path, size_t limit) {
  std::error_code error;
  UniqueFd fd = openRegularFileForReading(path, error);
  if (!fd) return {};
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || static_cast<uint64_t>(status.st_size) > limit) return {};
  // The size can change after the check, so the reading itself stops one
  // byte past the limit.
  std::string contents(static_cast<size_t>(status.st_size) + 1, '\0');
  size_t filled = 0;
  for (;;) {
    if (filled == contents.size()) {
      if (contents.size() > limit) break;
      contents.resize(limit + 1);
    }
    const ssize_t count = ::read(fd.get(), contents.data() + filled, contents.size() - filled);
    if (count < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  if (filled > limit) return {};
  contents.resize(filled);
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
