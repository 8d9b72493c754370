#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace lumivant {

// One process, named so that no later process can be taken for it: the boot
// it ran in, its id, and the moment it started (clock ticks since that boot).
// A process id alone is reused; with its start and boot it names one process.
struct LaunchStamp {
  std::string boot;
  int64_t pid = 0;
  uint64_t start = 0;

  bool operator==(const LaunchStamp&) const = default;
};

// This process's stamp; nothing when the system does not say.
std::optional<LaunchStamp> ownLaunchStamp();

// What became of a stamped process, as far as this process can see now.
enum class LaunchLife {
  running,
  ended,      // it has ended (a zombie counts as ended), or its id names another process now
  otherBoot,  // it ran before the machine last started
};
LaunchLife lifeOf(const LaunchStamp& stamp);

// How long ago a process of this boot started.
std::chrono::milliseconds ageOf(const LaunchStamp& stamp);

// Kills the stamped process if it is still the one running under its id, and
// waits up to limit for it to have ended.
void killLaunch(const LaunchStamp& stamp, std::chrono::milliseconds limit);

// A file as the file system knows it, whatever names it has now.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The file at path, symbolic links followed; nothing when there is none.
std::optional<FileIdentity> identityOfFile(const std::string& path);
// The file this process's image was loaded from, even after it was renamed or
// removed.
std::optional<FileIdentity> identityOfOwnImage();

}  // namespace lumivant
