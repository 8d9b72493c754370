#pragma once

// What the backend tests look at from outside: processes, descriptors and
// threads as /proc shows them, and the log as the child wrote it.

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "backend/Backend.h"
#include "backend/BackendSecret.h"
#include "base/ProcStat.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

namespace lumivant::testing {

// The Cookie header with which the shell's view reaches the backend's pages.
inline std::string secretCookie(const Backend& backend) {
  return backendSecretCookieHeader(backend.secret());
}

inline bool fileContains(const std::string& path, const std::string& text) {
  return readFile(path).find(text) != std::string::npos;
}

inline size_t occurrences(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

// The process id that a test child printed as "test child <mode> pid=<pid>".
inline std::optional<pid_t> testChildPid(const std::string& logPath, const std::string& mode) {
  const std::string marker = "test child " + mode + " pid=";
  const std::string log = readFile(logPath);
  const size_t at = log.rfind(marker);
  if (at == std::string::npos) return std::nullopt;
  return static_cast<pid_t>(std::stol(log.substr(at + marker.size())));
}

// Whether pid is still a child of this process, running or a zombie.
inline bool isOurChild(pid_t pid) {
  const auto stat = readProcStat(pid);
  return stat && stat->parent == getpid();
}

// Every process whose parent is this process.
inline std::vector<pid_t> ourChildren() {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (isOurChild(pid)) children.push_back(pid);
  }
  return children;
}

inline std::set<int> openDescriptors(pid_t pid) {
  std::set<int> fds;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    fds.insert(std::stoi(entry.path().filename().string()));
  }
  return fds;
}

inline std::string descriptorTarget(pid_t pid, int fd) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd),
                                       error)
      .string();
}

inline size_t ourThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// The names of this process's threads, for failure messages.
inline std::string ourThreadNames() {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    std::getline(comm, name);
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

inline size_t ourDescriptorCount() { return openDescriptors(getpid()).size(); }

}  // namespace lumivant::testing
