#include "base/StateFile.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"

namespace lumivant {

namespace {

constexpr auto kLockRetryInterval = std::chrono::milliseconds(10);

UniqueFd openLockFile(const std::string& path) {
  return UniqueFd(::open(path.c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
}

bool isRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// The lock file beside path, locked for this process alone; nothing when it
// cannot be had within wait. The lock file itself is never removed while it
// is a regular file, since another shell may hold it.
UniqueFd lockBeside(const std::string& path, std::chrono::milliseconds wait) {
  const std::string lockPath = path + ".lock";
  UniqueFd fd = openLockFile(lockPath);
  // A link, a FIFO or a socket in its place holds nothing and nobody's lock:
  // made afresh. A directory, or a file the system would not open, is left.
  const bool misplaced = fd ? !isRegularFile(fd.get()) : (errno == ELOOP || errno == ENXIO);
  if (misplaced) {
    fd.reset();
    if (::unlink(lockPath.c_str()) != 0 && errno != ENOENT) return {};
    fd = openLockFile(lockPath);
    if (fd && !isRegularFile(fd.get())) return {};
  }
  if (!fd) return {};
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return fd;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(kLockRetryInterval);
  }
}

// Keeps what is at path under its set-aside name, replacing the one set aside
// before. A hard link leaves the damaged file at its place too until the new
// one is renamed over it, so that a reader meanwhile finds the old file rather
// than none.
bool setAside(const std::string& path) {
  const std::string aside = setAsidePath(path);
  if (::unlink(aside.c_str()) != 0 && errno != ENOENT) {
    // A directory set aside before goes only when it is empty.
    if (errno != EISDIR || ::rmdir(aside.c_str()) != 0) return false;
  }
  if (::link(path.c_str(), aside.c_str()) == 0) return true;
  // A directory cannot be linked, nor, where hard links are protected, a file
  // of another user: moved instead.
  return ::rename(path.c_str(), aside.c_str()) == 0;
}

}  // namespace

std::string setAsidePath(const std::string& path) { return path + ".damaged"; }

bool StateFile::update(const Reviser& revise) const {
  const std::optional<Lock> held = lock(std::chrono::milliseconds(kStateLockWaitMilliseconds));
  return held && update(revise, *held);
}

std::optional<StateFile::Lock> StateFile::lock(std::chrono::milliseconds wait) const {
  const std::string directory = std::filesystem::path(path_).parent_path().string();
  if (!directory.empty() && g_mkdir_with_parents(directory.c_str(), 0700) != 0) return {};
  UniqueFd fd = lockBeside(path_, wait);
  if (!fd) return {};
  return Lock(std::move(fd));
}

bool StateFile::update(const Reviser& revise, const Lock&) const {
  const FileRead current = read();
  if (current.state == FileState::unreadable) return false;
  const std::optional<Revision> revision = revise(current);
  if (!revision) return false;
  if (current.state == FileState::damaged || revision->leavesSomethingOut) {
    if (!setAside(path_)) return false;
  }
  return !writeFileAtomically(path_, revision->text);
}

}  // namespace lumivant
