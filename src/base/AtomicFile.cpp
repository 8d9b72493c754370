#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/FileReading.h"

namespace lumivant {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

// Makes a finished rename durable. Best effort: the rename itself already
// gave readers the whole file.
void syncDirectoryOf(const std::string& path) {
  const std::string directory = std::filesystem::path(path).parent_path().string();
  UniqueFd fd(
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());
}

}  // namespace

std::error_code writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::filesystem::path target(path);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) return lastError();

  std::error_code error = writeAll(fd.get(), bytes);
  if (!error && ::fchmod(fd.get(), 0644) != 0) error = lastError();
  if (!error && ::fsync(fd.get()) != 0) error = lastError();
  if (const std::error_code closed = fd.close(); !error) error = closed;
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
  if (error) {
    ::unlink(temporary.c_str());
    return error;
  }
  syncDirectoryOf(path);
  return {};
}

}  // namespace lumivant
