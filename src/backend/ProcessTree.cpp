#include "backend/ProcessTree.h"

#include <dirent.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// glibc 2.36's <sys/pidfd.h> lacks the extern "C" block of its other headers.
extern "C" {
#include <sys/pidfd.h>
}

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "base/FileReading.h"
#include "base/OwnChildren.h"
#include "base/ProcStat.h"

namespace lumivant {

namespace {

constexpr auto kSweepInterval = std::chrono::seconds(1);

// A process can end between listing and reading: its files then read as empty.
// (A stream would throw here, since reading such a file fails with ESRCH.)
std::string readWhole(const std::string& path) { return readWholeFile(path).value_or(""); }

// The process as its stat line shows it, its environment not looked at.
std::optional<ProcessEntry> readStat(pid_t pid) {
  const std::optional<ProcStat> stat = readProcStat(pid);
  if (!stat) return std::nullopt;
  return ProcessEntry{pid, stat->parent, stat->group, stat->state, stat->startTime, false};
}

bool environmentCarries(pid_t pid, const std::string& marker) {
  // Entries are NUL-terminated; a leading NUL makes every entry look alike.
  const std::string environment = '\0' + readWhole("/proc/" + std::to_string(pid) + "/environ");
  return environment.find('\0' + marker + '\0') != std::string::npos;
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
        // Still our unreaped child, so the id names it and nothing else.
        waitid(P_PID, static_cast<id_t>(entry.pid), &info, WEXITED | WNOHANG);
        forgetOwnChild(entry.pid);
      } else {
        zombiesNow.insert(key);
      }
    }
    zombiesBefore = std::move(zombiesNow);
  }
}

}  // namespace

bool hasEnded(const UniqueFd& pidfd) {
  pollfd ended{pidfd.get(), POLLIN, 0};
  return ::poll(&ended, 1, 0) != 0;  // an error too: nothing can be done with it
}

bool adoptedWhileEnding(const ProcessEntry& process, const TreeContext& context) {
  const auto& own = context.ownChildren;
  return context.adoptingSince && process.parent == context.self &&
         process.group != context.selfGroup && process.startTime >= *context.adoptingSince &&
         process.pid != context.root && std::find(own.begin(), own.end(), process.pid) == own.end();
}

std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes,
                               const TreeContext& context) {
  const pid_t root = context.root;
  const bool rootUnreaped = context.rootState == RootState::unreaped;
  std::multimap<pid_t, pid_t> children;
  std::vector<pid_t> seeds(context.knownMembers);
  std::vector<pid_t> group;
  for (const ProcessEntry& entry : processes) {
    children.emplace(entry.parent, entry.pid);
    if ((rootUnreaped && entry.pid == root) || entry.carriesMarker ||
        adoptedWhileEnding(entry, context)) {
      seeds.push_back(entry.pid);
    }
    if (root > 0 && entry.group == root) group.push_back(entry.pid);
  }
  auto withDescendants = [&](std::vector<pid_t> pending) {
    std::set<pid_t> members;
    while (!pending.empty()) {
      const pid_t pid = pending.back();
      pending.pop_back();
      if (pid <= 1 || pid == context.self || !members.insert(pid).second) continue;
      const auto [first, last] = children.equal_range(pid);
      for (auto child = first; child != last; ++child) pending.push_back(child->second);
    }
    return members;
  };
  std::set<pid_t> members = withDescendants(seeds);
  // A group of the root's id that none of the members is in may be somebody
  // else's, led by a process that was given the reaped root's id.
  const bool groupIsTheBackends =
      rootUnreaped ||
      std::any_of(group.begin(), group.end(), [&](pid_t pid) { return members.count(pid) > 0; });
  if (groupIsTheBackends && !group.empty()) {
    seeds.insert(seeds.end(), group.begin(), group.end());
    members = withDescendants(seeds);
  }
  return {members.begin(), members.end()};
}

std::optional<ProcessEntry> readProcess(pid_t pid, const std::string& marker) {
  std::optional<ProcessEntry> entry = readStat(pid);
  // A zombie's environment reads as empty.
  if (entry && !marker.empty() && entry->state != 'Z') {
    entry->carriesMarker = environmentCarries(pid, marker);
  }
  return entry;
}

std::vector<ProcessEntry> listProcesses(const std::string& marker) {
  std::vector<ProcessEntry> processes;
  DIR* proc = opendir("/proc");
  if (!proc) return processes;
  while (const dirent* item = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(item->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    if (std::optional<ProcessEntry> entry = readProcess(static_cast<pid_t>(pid), marker)) {
      processes.push_back(*entry);
    }  // else gone meanwhile
  }
  closedir(proc);
  return processes;
}

unsigned long long currentClockTick() {
  // /proc counts start times on the boot-time clock, in ticks.
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const auto ticksPerSecond = static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
  return static_cast<unsigned long long>(now.tv_sec) * ticksPerSecond +
         static_cast<unsigned long long>(now.tv_nsec) * ticksPerSecond / 1'000'000'000ULL;
}

std::vector<HeldProcess> descendantsOf(pid_t root) {
  std::vector<HeldProcess> found;
  std::set<pid_t> seen{root};
  // Each parent with its pidfd; the root's id is kept from reuse by the caller.
  std::vector<std::pair<pid_t, std::shared_ptr<const UniqueFd>>> pending{{root, nullptr}};
  while (!pending.empty()) {
    const auto [parent, parentFd] = pending.back();
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
        // The pidfd first, then the fact: whatever has the id when the pidfd
        // is opened is the one that is then read to be the parent's child.
        auto pidfd = std::make_shared<const UniqueFd>(pidfd_open(child, 0));
        if (!*pidfd) continue;  // ended meanwhile
        const std::optional<ProcessEntry> entry = readStat(child);
        if (!entry || entry->parent != parent) continue;
        // And the parent was still the one walked down from when that was read.
        if (parentFd && hasEnded(*parentFd)) continue;
        found.push_back({{child, entry->startTime}, pidfd});
        pending.emplace_back(child, std::move(pidfd));
      }
    }
    closedir(threads);
  }
  return found;
}

std::vector<HeldProcess> updatedRecord(const std::vector<HeldProcess>& recorded,
                                       std::vector<HeldProcess> seen) {
  std::set<ProcessKey> found;
  for (const HeldProcess& member : seen) found.insert(member.key);
  for (const HeldProcess& member : recorded) {
    if (!found.count(member.key) && member.pidfd && !hasEnded(*member.pidfd))
      seen.push_back(member);
  }
  return seen;
}

void adoptOrphanedDescendants() {
  static std::once_flag once;
  std::call_once(once, [] {
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    std::thread(sweepAdoptedOrphans).detach();
  });
}

}  // namespace lumivant
