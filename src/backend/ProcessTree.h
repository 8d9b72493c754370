#pragma once

#include <sys/types.h>

#include <chrono>
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

// Whether the backend's own process is still there to be looked for by its id.
// Once it has been reaped its id may be given to an unrelated process; its
// group id may not, for as long as any member of the group lives.
enum class RootState { unreaped, reaped };

// The processes of a backend's tree among the given ones: the backend itself
// (root, while unreaped), every process of the process group it leads, every process whose
// environment carries the marker (this finds descendants that started a group
// or session of their own and whose parent has gone), and every descendant of
// any of these. The shell (self) never counts, and neither does anything above
// it.
std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes, pid_t root,
                               RootState rootState, pid_t self);

// Every process of /proc that can be read; carriesMarker is looked up for the
// "NAME=value" entry marker.
std::vector<ProcessEntry> listProcesses(const std::string& marker);

// Makes this process the reaper of its orphaned descendants, so that a
// backend's descendant whose parent ends is re-parented to the shell and not to
// init, where nobody would end it. Also starts, once per process, the sweep
// that reaps such orphans when they end by themselves. Idempotent.
void adoptOrphanedDescendants();

// Ends a backend's whole tree: SIGTERM to every member, up to grace of waiting
// for all of them to end, then SIGKILL to those left; members that start
// meanwhile get the same. Returns once no member is left, each member adopted
// by the shell reaped. The root is signalled only through signalRoot and never
// reaped here: its owner does that, and rootState tells whether it has.
void endProcessTree(pid_t root, const std::string& marker, std::chrono::milliseconds grace,
                    const std::function<void(int signal)>& signalRoot,
                    const std::function<RootState()>& rootState);

}  // namespace lumivant
