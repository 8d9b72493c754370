#include "backend/ProcessTree.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "base/FileReading.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(20);
// After SIGKILL a process ends at once unless it is stuck in the kernel; past
// this the shell stops waiting for such a one.
constexpr auto kKillWait = std::chrono::seconds(5);
constexpr auto kSweepInterval = std::chrono::seconds(1);

// A process can end between listing and reading: its files then read as empty.
// (A stream would throw here, since reading such a file fails with ESRCH.)
std::string readWhole(const std::string& path) { return readWholeFile(path).value_or(""); }

// /proc/<pid>/stat: "pid (comm) state ppid pgrp session ..." with the start
// time as the 22nd field. The command name may hold spaces and parentheses, so
// the fields are counted from the last ')'.
std::optional<ProcessEntry> readStat(pid_t pid) {
  const std::string stat = readWhole("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 1));
  ProcessEntry entry;
  entry.pid = pid;
  std::string skipped;
  fields >> entry.state >> entry.parent >> entry.group;
  for (int field = 6; field < 22 && fields; ++field) fields >> skipped;
  fields >> entry.startTime;
  if (!fields) return std::nullopt;
  return entry;
}

bool environmentCarries(pid_t pid, const std::string& marker) {
  // Entries are NUL-terminated; a leading NUL makes every entry look alike.
  const std::string environment = '\0' + readWhole("/proc/" + std::to_string(pid) + "/environ");
  return environment.find('\0' + marker + '\0') != std::string::npos;
}

// Reaps a child of ours that has ended; does nothing to one that has not.
void reapIfEnded(pid_t pid) {
  siginfo_t info{};
  waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG);
}

using ProcessKey = std::pair<pid_t, unsigned long long>;

// Orphans adopted by the shell that ended by themselves stay zombies until
// somebody waits for them: a program the system's URL handler started, a
// backend's detached daemon that stopped. A zombie child of ours that is still
// a zombie a second later is not one that GLib or a watcher of ours is about
// to reap (they wait at once), so this reaps it.
[[noreturn]] void sweepAdoptedOrphans() {
  const pid_t self = getpid();
  std::set<ProcessKey> zombiesBefore;
  for (;;) {
    std::this_thread::sleep_for(kSweepInterval);
    siginfo_t info{};
    // A cheap look first: is there any ended child at all?
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
      zombiesBefore.clear();
      continue;
    }
    std::set<ProcessKey> zombiesNow;
    for (const ProcessEntry& entry : listProcesses({})) {
      if (entry.parent != self || entry.state != 'Z') continue;
      const ProcessKey key{entry.pid, entry.startTime};
      if (zombiesBefore.count(key)) {
        reapIfEnded(entry.pid);
      } else {
        zombiesNow.insert(key);
      }
    }
    zombiesBefore = std::move(zombiesNow);
  }
}

}  // namespace

std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes, pid_t root,
                               RootState rootState, pid_t self) {
  std::multimap<pid_t, pid_t> children;
  std::vector<pid_t> pending;
  for (const ProcessEntry& entry : processes) {
    children.emplace(entry.parent, entry.pid);
    const bool seed = (rootState == RootState::unreaped && entry.pid == root) ||
                      (root > 0 && entry.group == root) || entry.carriesMarker;
    if (seed) pending.push_back(entry.pid);
  }
  std::set<pid_t> members;
  while (!pending.empty()) {
    const pid_t pid = pending.back();
    pending.pop_back();
    if (pid <= 1 || pid == self || !members.insert(pid).second) continue;
    const auto [first, last] = children.equal_range(pid);
    for (auto child = first; child != last; ++child) pending.push_back(child->second);
  }
  return {members.begin(), members.end()};
}

std::vector<ProcessEntry> listProcesses(const std::string& marker) {
  std::vector<ProcessEntry> processes;
  DIR* proc = opendir("/proc");
  if (!proc) return processes;
  while (const dirent* item = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(item->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::optional<ProcessEntry> entry = readStat(static_cast<pid_t>(pid));
    if (!entry) continue;  // gone meanwhile
    if (!marker.empty() && entry->state != 'Z') {
      entry->carriesMarker = environmentCarries(entry->pid, marker);
    }
    processes.push_back(*entry);
  }
  closedir(proc);
  return processes;
}

void adoptOrphanedDescendants() {
  static std::once_flag once;
  std::call_once(once, [] {
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    std::thread(sweepAdoptedOrphans).detach();
  });
}

void endProcessTree(pid_t root, const std::string& marker, std::chrono::milliseconds grace,
                    const std::function<void(int signal)>& signalRoot,
                    const std::function<RootState()>& rootState) {
  const pid_t self = getpid();
  const Clock::time_point killAt = Clock::now() + grace;
  std::set<ProcessKey> terminated, killed;
  bool killing = false;

  // Every member seen so far: a zombie no longer shows its environment, and
  // one in a session of its own whose parent ended has nothing else that ties
  // it to the tree, so it is recognised by what it was.
  std::set<ProcessKey> known;

  signalRoot(SIGTERM);
  for (;;) {
    const std::vector<ProcessEntry> processes = listProcesses(marker);
    const std::vector<pid_t> byRule = treeMembers(processes, root, rootState(), self);
    std::vector<const ProcessEntry*> members;
    for (const ProcessEntry& entry : processes) {
      const ProcessKey key{entry.pid, entry.startTime};
      if (std::binary_search(byRule.begin(), byRule.end(), entry.pid)) known.insert(key);
      if (known.count(key)) members.push_back(&entry);
    }

    bool anyLeft = false;
    for (const ProcessEntry* member : members) {
      const pid_t pid = member->pid;
      if (member->state == 'Z') {
        // Ended. One the shell adopted is reaped here; the root's owner reaps
        // the root, and any other has a parent in the tree that will, or that
        // ends and hands it to the shell.
        if (pid != root && member->parent == self) reapIfEnded(pid);
        continue;
      }
      anyLeft = true;
      if (pid == root) continue;
      std::set<ProcessKey>& signalled = killing ? killed : terminated;
      if (signalled.insert({pid, member->startTime}).second) {
        ::kill(pid, killing ? SIGKILL : SIGTERM);
      }
    }
    if (!anyLeft) return;

    const Clock::time_point now = Clock::now();
    if (!killing && now >= killAt) {
      killing = true;
      signalRoot(SIGKILL);
      continue;
    }
    if (killing && now >= killAt + kKillWait) return;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace lumivant
