#include "selfupdate/StagedShellFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace lumivant {

StagedShellOpening openStagedShell(const std::string& path) {
  StagedShellOpening opening;
  // Non-blocking so that a FIFO cannot hold the launch; no file read here
  // needs blocking reads.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    if (errno == ELOOP) opening.problem = "it is a symbolic link";
    return opening;
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || S_ISDIR(status.st_mode)) return opening;
  if (!S_ISREG(status.st_mode)) {
    opening.problem = "it is not a regular file";
    return opening;
  }
  opening.fd = std::move(fd);
  opening.size = static_cast<uint64_t>(status.st_size);
  return opening;
}

}  // namespace lumivant
