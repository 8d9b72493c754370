#include "base/FileReading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace lumivant {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

// Opens path for reading if it is a regular file. Non-blocking so that a FIFO
// cannot hold the open; the flag is dropped again once the file is known to be
// a regular one. Anything else (a directory, a FIFO, a device, a socket, a
// refused link) fails with an error that says so.
UniqueFd openRegularFile(const std::string& path, Links links, std::error_code& error) {
  const int noFollow = links == Links::refuse ? O_NOFOLLOW : 0;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | noFollow));
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

// Whether a failed open found something at the path that is not a readable
// regular file, rather than nothing at all or a refusal by the system. The
// number is an errno value, whichever category the error came in.
FileState stateAfterFailedOpen(int errnum) {
  switch (errnum) {
    case ENOENT:
    case ENOTDIR:
      return FileState::missing;
    case ELOOP:   // a link where links are refused
    case ENXIO:   // a socket, or a device with nothing behind it
    case EISDIR:  // what the check after opening reports
    case EINVAL:
      return FileState::damaged;
    default:
      return FileState::unreadable;
  }
}

}  // namespace

UniqueFd openRegularFileForReading(const std::string& path, std::error_code& error) {
  return openRegularFile(path, Links::follow, error);
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

FileRead readFileUpTo(const std::string& path, size_t limit, Links links) {
  std::error_code error;
  UniqueFd fd = openRegularFile(path, links, error);
  if (!fd) return {stateAfterFailedOpen(error.value()), {}};
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return {FileState::unreadable, {}};
  // Judged by its size before a byte is read: a sparse file of gigabytes
  // costs nothing to refuse here and seconds and gigabytes to read.
  if (static_cast<uint64_t>(status.st_size) > limit) return {FileState::damaged, {}};
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
      return {FileState::unreadable, {}};
    }
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  if (filled > limit) return {FileState::damaged, {}};
  contents.resize(filled);
  return {FileState::ok, std::move(contents)};
}

std::optional<std::string> readWholeFile(const std::string& path, size_t limit) {
  FileRead read = readFileUpTo(path, limit, Links::follow);
  if (read.state != FileState::ok) return std::nullopt;
  return std::move(read.text);
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
