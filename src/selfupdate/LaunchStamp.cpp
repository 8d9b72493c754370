#include "selfupdate/LaunchStamp.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileReading.h"
#include "base/ProcStat.h"
#include "base/UniqueFd.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

std::string currentBoot() {
  std::string boot = readWholeFile("/proc/sys/kernel/random/boot_id").value_or("");
  while (!boot.empty() && (boot.back() == '\n' || boot.back() == ' ')) boot.pop_back();
  return boot;
}

// The start of process pid in clock ticks since boot.
std::optional<uint64_t> startOf(int64_t pid) {
  const std::optional<ProcStat> stat = readProcStat(static_cast<pid_t>(pid));
  if (!stat) return {};
  return stat->startTime;
}

// A descriptor for the stamped process while its id still names it.
UniqueFd openStamped(const LaunchStamp& stamp) {
  if (stamp.pid <= 0 || stamp.boot != currentBoot()) return {};
  UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(stamp.pid), 0)));
  // Looked at once the descriptor is held: from then on the id cannot pass
  // to another process, so a matching start names this one.
  if (!process || startOf(stamp.pid) != stamp.start) return {};
  return process;
}

bool hasEnded(int process, std::chrono::milliseconds wait) {
  const Clock::time_point deadline = Clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd ended{process, POLLIN, 0};
    const int ready = ::poll(&ended, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

std::optional<FileIdentity> identityOf(const struct stat& status) {
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

}  // namespace

std::optional<LaunchStamp> ownLaunchStamp() {
  const std::string boot = currentBoot();
  const std::optional<uint64_t> start = startOf(::getpid());
  if (boot.empty() || !start) return {};
  return LaunchStamp{boot, ::getpid(), *start};
}

LaunchLife lifeOf(const LaunchStamp& stamp) {
  if (stamp.boot != currentBoot()) return LaunchLife::otherBoot;
  const UniqueFd process = openStamped(stamp);
  if (!process || hasEnded(process.get(), std::chrono::milliseconds(0))) return LaunchLife::ended;
  return LaunchLife::running;
}

std::chrono::milliseconds ageOf(const LaunchStamp& stamp) {
  // Start times count from boot on the clock that includes suspended time.
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  const auto sinceBoot = std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
  const auto startedAt = std::chrono::milliseconds(static_cast<int64_t>(stamp.start) * 1000 /
                                                   (ticksPerSecond > 0 ? ticksPerSecond : 100));
  return std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot) - startedAt;
}

void killLaunch(const LaunchStamp& stamp, std::chrono::milliseconds limit) {
  const UniqueFd process = openStamped(stamp);
  if (!process) return;
  ::syscall(SYS_pidfd_send_signal, process.get(), SIGKILL, nullptr, 0);
  (void)hasEnded(process.get(), limit);
}

std::optional<FileIdentity> identityOfFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  return identityOf(status);
}

std::optional<FileIdentity> identityOfOwnImage() {
  // Opened, not looked up by name: the link names the image's file even once
  // that file has been renamed or removed.
  const UniqueFd image(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!image || ::fstat(image.get(), &status) != 0) return {};
  return identityOf(status);
}

}  // namespace lumivant
