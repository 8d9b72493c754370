#include "selfupdate/SwapFileOperations.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lumivant {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

std::error_code result(int returned) { return returned == 0 ? std::error_code{} : lastError(); }

}  // namespace

bool SwapFileOperations::exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

std::error_code SwapFileOperations::createTemporaryFile(const std::string& directory,
                                                        const std::string& stem, UniqueFd& fd,
                                                        std::string& path) {
  std::string pattern = directory + "/" + stem + "XXXXXX";
  UniqueFd created(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!created) return lastError();
  fd = std::move(created);
  path = std::move(pattern);
  return {};
}

std::error_code SwapFileOperations::copyContents(const std::string& source, int fd) {
  std::error_code written;
  const std::error_code read = readInBlocks(source, [&](std::string_view block) {
    if (!written) written = writeAll(fd, block);
  });
  return read ? read : written;
}

std::error_code SwapFileOperations::setMode(int fd, mode_t mode) {
  return result(::fchmod(fd, mode));
}

std::error_code SwapFileOperations::flushAndClose(UniqueFd& fd) {
  const std::error_code flushed = result(::fsync(fd.get()));
  const std::error_code closed = fd.close();
  return flushed ? flushed : closed;
}

std::error_code SwapFileOperations::hardLink(const std::string& existing,
                                             const std::string& linkPath) {
  return result(::link(existing.c_str(), linkPath.c_str()));
}

std::error_code SwapFileOperations::moveWithoutReplacing(const std::string& from,
                                                         const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return lastError();
  // A file system without the no-replace flag: check first, accepting the
  // small race, since nothing else renames inside the bundle.
  if (exists(to)) return std::make_error_code(std::errc::file_exists);
  return result(::rename(from.c_str(), to.c_str()));
}

std::error_code SwapFileOperations::replace(const std::string& from, const std::string& to) {
  return result(::rename(from.c_str(), to.c_str()));
}

std::error_code SwapFileOperations::remove(const std::string& path) {
  return result(::unlink(path.c_str()));
}

void SwapFileOperations::syncDirectory(const std::string& directory) {
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());
}

SwapFileOperations& systemFileOperations() {
  static SwapFileOperations operations;
  return operations;
}

}  // namespace lumivant
