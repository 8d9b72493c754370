#pragma once

#include <sys/types.h>

#include <chrono>
#include <compare>
#include <functional>
#include <string>
#include <vector>

namespace lumivant {

// One process as /proc shows it, with what tells whether it belongs to a
// backend's tree.
struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  pid_t group = 0;
  char state = '?';                  // R, S, D, Z, ...
  unsigned long long startTime = 0;  // in clock ticks since boot: with pid, names one process
  bool carriesMarker = false;        // its environment holds the tree's marker entry
};

// One process for as long as it exists: its id alone may be given to another
// process once it was reaped, its id and start time together never.
struct ProcessKey {
  pid_t pid = 0;
  unsigned long long startTime = 0;
  auto operator<=>(const ProcessKey&) const = default;
};

// Whether the backend's own process is still there to be looked for by its id.
// Once it has been reaped its id may be given to an unrelated process, which
// may lead a process group of that id.
enum class RootState { unreaped, reaped };

// The processes of a backend's tree among the given ones: the backend itself
// (root, while unreaped), the known members, every process whose environment
// carries the marker, and every descendant of any of these. The process group
// the backend leads counts too, but only while it is provably the backend's:
// while the root is unreaped, or while a member found otherwise is in it (the
// kernel gives no process that id while the group has a member). The shell
// (self) never counts, and neither does anything above it.
std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes, pid_t root,
                               RootState rootState, pid_t self,
                               const std::vector<pid_t>& knownMembers = {});

// Every process of /proc that can be read; carriesMarker is looked up for the
// "NAME=value" entry marker.
std::vector<ProcessEntry> listProcesses(const std::string& marker);

// The running descendants of root, however deep, found through the kernel's
// list of each process's children. Complete for a root that reaps its own
// orphans (see ChildLaunch::Orphans): nothing below it can leave it then.
std::vector<ProcessKey> descendantsOf(pid_t root);

// Makes this process the reaper of its orphaned descendants, so that a
// descendant whose parent ends is re-parented to the shell and not to init,
// where nobody would end it. Also starts, once per process, the sweep that
// reaps such orphans when they end by themselves. Idempotent.
void adoptOrphanedDescendants();

// Ends a backend's whole tree: SIGTERM to every member, up to grace of waiting
// for all of them to end, then SIGKILL to those left; members that start
// meanwhile get the same. recorded names the members seen while the tree ran,
// which may by now have left every other trace. Returns once no member is
// left, each member adopted by the shell reaped. The root is signalled only
// through signalRoot and never reaped here: its owner does that, and rootState
// tells whether it has; a reaped root is never waited for.
void endProcessTree(pid_t root, const std::string& marker, std::chrono::milliseconds grace,
                    const std::function<void(int signal)>& signalRoot,
                    const std::function<RootState()>& rootState,
                    const std::vector<ProcessKey>& recorded = {});

}  // namespace lumivant
