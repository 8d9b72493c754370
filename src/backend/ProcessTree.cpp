#include "backend/ProcessTree.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36's <sys/pidfd.h> lacks the extern "C" block of its other headers.
extern "C" {
#include <sys/pidfd.h>
}

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
#include "base/UniqueFd.h"

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

// Signals the process only if it is still the one that was listed: between
// the listing and the signal it may have ended and its id been given to
// another. The pidfd pins whatever process has the id now; its start time
// tells whether that is the listed one.
void signalListed(const ProcessKey& key, int signal) {
  const UniqueFd process(pidfd_open(key.pid, 0));
  if (!process) return;
  const std::optional<ProcessEntry> now = readStat(key.pid);
  if (!now || now->startTime != key.startTime) return;
  pidfd_send_signal(process.get(), signal, nullptr, 0);
}

}  // namespace

std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes, pid_t root,
                               RootState rootState, pid_t self,
                               const std::vector<pid_t>& knownMembers) {
  std::multimap<pid_t, pid_t> children;
  std::vector<pid_t> seeds(knownMembers);
  std::vector<pid_t> group;
  for (const ProcessEntry& entry : processes) {
    children.emplace(entry.parent, entry.pid);
    if ((rootState == RootState::unreaped && entry.pid == root) || entry.carriesMarker) {
      seeds.push_back(entry.pid);
    }
    if (root > 0 && entry.group == root) group.push_back(entry.pid);
  }
  auto withDescendants = [&](std::vector<pid_t> pending) {
    std::set<pid_t> members;
    while (!pending.empty()) {
      const pid_t pid = pending.back();
      pending.pop_back();
      if (pid <= 1 || pid == self || !members.insert(pid).second) continue;
      const auto [first, last] = children.equal_range(pid);
      for (auto child = first; child != last; ++child) pending.push_back(child->second);
    }
    return members;
  };
  std::set<pid_t> members = withDescendants(seeds);
  // A group of the root's id that none of the members is in may be somebody
  // else's, led by a process that was given the reaped root's id.
  const bool groupIsTheBackends =
      rootState == RootState::unreaped ||
      std::any_of(group.begin(), group.end(), [&](pid_t pid) { return members.count(pid) > 0; });
  if (groupIsTheBackends && !group.empty()) {
    seeds.insert(seeds.end(), group.begin(), group.end());
    members = withDescendants(seeds);
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

std::vector<ProcessKey> descendantsOf(pid_t root) {
  std::vector<ProcessKey> found;
  std::set<pid_t> seen{root};
  std::vector<pid_t> pending{root};
  while (!pending.empty()) {
    const pid_t parent = pending.back();
    const std::string task = "/proc/" + std::to_string(parent) + "/task";
    pending.pop_back();
    DIR* threads = opendir(task.c_str());
    if (!threads) continue;  // ended meanwhile
    while (const dirent* thread = readdir(threads)) {
      if (thread->d_name[0] == '.') continue;
      std::istringstream children(readWhole(task + "/" + thread->d_name + "/children"));
      pid_t child = 0;
      while (children >> child) {
        if (!seen.insert(child).second) continue;
        // A child that ended meanwhile, and any process given its id since,
        // is not the parent's child any more.
        const std::optional<ProcessEntry> entry = readStat(child);
        if (!entry || entry->parent != parent) continue;
        found.push_back({child, entry->startTime});
        pending.push_back(child);
      }
    }
    closedir(threads);
  }
  return found;
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
                    const std::function<RootState()>& rootState,
                    const std::vector<ProcessKey>& recorded) {
  const pid_t self = getpid();
  const Clock::time_point killAt = Clock::now() + grace;
  std::set<ProcessKey> terminated, killed;
  bool killing = false;

  // Every member seen so far: a zombie no longer shows its environment, and
  // one in a session of its own whose parent ended has nothing else that ties
  // it to the tree, so it is recognised by what it was.
  std::set<ProcessKey> known(recorded.begin(), recorded.end());

  signalRoot(SIGTERM);
  for (;;) {
    const RootState rootNow = rootState();
    const std::vector<ProcessEntry> processes = listProcesses(marker);
    std::vector<pid_t> knownAlive;
    for (const ProcessEntry& entry : processes) {
      if (known.count({entry.pid, entry.startTime})) knownAlive.push_back(entry.pid);
    }
    const std::vector<pid_t> byRule = treeMembers(processes, root, rootNow, self, knownAlive);
    std::vector<const ProcessEntry*> members;
    for (const ProcessEntry& entry : processes) {
      const ProcessKey key{entry.pid, entry.startTime};
      if (std::binary_search(byRule.begin(), byRule.end(), entry.pid)) known.insert(key);
      if (known.count(key)) members.push_back(&entry);
    }

    bool anyLeft = false;
    for (const ProcessEntry* member : members) {
      const pid_t pid = member->pid;
      // Only the unreaped root is the owner's to signal and to reap; once
      // reaped, a process of its id is another one.
      const bool isRoot = pid == root && rootNow == RootState::unreaped;
      if (member->state == 'Z') {
        // Ended. One the shell adopted is reaped here; the root's owner reaps
        // the root, and any other has a parent in the tree that will, or that
        // ends and hands it to the shell.
        if (!isRoot && member->parent == self) reapIfEnded(pid);
        continue;
      }
      anyLeft = true;
      if (isRoot) continue;
      std::set<ProcessKey>& signalled = killing ? killed : terminated;
      const ProcessKey key{pid, member->startTime};
      if (signalled.insert(key).second) signalListed(key, killing ? SIGKILL : SIGTERM);
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
