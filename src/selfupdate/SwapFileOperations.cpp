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

std::error_code SwapFileOperations::copyContents(int source, int fd) {
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

std::error_code SwapFileOperations::copyAside(const std::string& existing,
                                              const std::string& copyPath) {
  std::error_code error;
  const UniqueFd source = openRegularFileForReading(existing, error);
  if (!source) return error;
  UniqueFd copy(::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755));
  if (!copy) return lastError();
  error = copyContents(source.get(), copy.get());
  if (!error) error = setMode(copy.get(), 0755);
  if (!error) error = flushAndClose(copy);
  if (error) {
    copy.reset();
    (void)remove(copyPath);
  }
  return error;
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
