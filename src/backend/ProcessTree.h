#pragma once

#include <sys/types.h>

#include <chrono>
#include <compare>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.h"

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
// process once it was reaped, its id and start time together only to one
// started within the same clock tick.
struct ProcessKey {
  pid_t pid = 0;
  unsigned long long startTime = 0;
  auto operator<=>(const ProcessKey&) const = default;
};

// A process found to be a member of a tree, held by a pidfd that was opened
// before the fact that made it a member was read. Whatever happens to its id
// later, the pidfd names that process or, once it has ended, nobody: a signal
// sent through it never reaches a process that was given the id afterwards.
struct HeldProcess {
  ProcessKey key;
  std::shared_ptr<const UniqueFd> pidfd;  // shared by a tree's record and its ending
};

// Whether the process behind a pidfd has ended (a zombie counts as ended).
bool hasEnded(const UniqueFd& pidfd);

// Whether the backend's own process is still there to be looked for by its id.
// Once it has been reaped its id may be given to an unrelated process, which
// may lead a process group of that id.
enum class RootState { unreaped, reaped };

// What, besides the processes themselves, tells which of them are a backend's.
struct TreeContext {
  pid_t root = 0;
  RootState rootState = RootState::unreaped;
  pid_t self = 0;       // the shell: never a member, nor is anything above it
  pid_t selfGroup = 0;  // the shell's process group
  // Members found before that are still running.
  std::vector<pid_t> knownMembers;
  // While the tree is being ended: the clock tick since which a process that
  // the shell adopted as the reaper of orphans counts as the tree's.
  std::optional<unsigned long long> adoptingSince;
  // Children the shell started itself, which it never takes for adopted ones.
  std::vector<pid_t> ownChildren;
};

// Whether a process is an orphan the shell adopted while the tree was being
// ended (see treeMembers).
bool adoptedWhileEnding(const ProcessEntry& process, const TreeContext& context);

// The processes of a backend's tree among the given ones: the backend itself
// (root, while unreaped), the known members, every process whose environment
// carries the marker, and every descendant of any of these. The process group
// the backend leads counts too, but only while it is provably the backend's:
// while the root is unreaped, or while a member found otherwise is in it (the
// kernel gives no process that id while the group has a member).
//
// While the tree is being ended, its members may start processes that leave
// every one of those ties behind at once: a fresh session, an empty
// environment, a parent that exits right away. The shell reaps such orphans,
// so they become its children; one born since the ending began that is
// neither in the shell's process group nor one the shell started itself is
// the tree's. The shell never counts, and neither does anything above it.
std::vector<pid_t> treeMembers(const std::vector<ProcessEntry>& processes,
                               const TreeContext& context);

// Every process of /proc that can be read; carriesMarker is looked up for the
// "NAME=value" entry marker.
std::vector<ProcessEntry> listProcesses(const std::string& marker);

// The process of that id as /proc shows it now, nothing once it has gone.
std::optional<ProcessEntry> readProcess(pid_t pid, const std::string& marker);

// The clock tick since boot that /proc's start times count in, now.
unsigned long long currentClockTick();

// The running descendants of root, however deep, found through the kernel's
// list of each process's children and each held by a pidfd. Complete for a
// root that reaps its own orphans (see ChildProcess): nothing below it can
// leave it then. The caller keeps root from being reaped meanwhile.
std::vector<HeldProcess> descendantsOf(pid_t root);

// The record of a running root's tree after a fresh look (descendantsOf):
// what the look found, and every member recorded before that still runs. A
// look taken as the root ends finds nothing below it, since the kernel hands
// its children to the shell before the root can be seen to have ended; such a
// look must not make the record forget them. While the root runs nothing leaves
// its tree but by ending, so a recorded member that still runs is still the tree's.
std::vector<HeldProcess> updatedRecord(const std::vector<HeldProcess>& recorded,
                                       std::vector<HeldProcess> seen);

// Makes this process the reaper of its orphaned descendants, so that a
// descendant whose parent ends is re-parented to the shell and not to init,
// where nobody would end it. Also starts, once per process, the sweep that
// reaps such orphans when they end by themselves. Idempotent.
void adoptOrphanedDescendants();

// Ends a backend's whole tree: SIGTERM to every member, up to grace of waiting
// for all of them to end, then SIGKILL to those left; members that start
// meanwhile, however they detach, get the same, until none is left. Every
// member is held by a pidfd from the moment it is found and signalled only
// through it. recorded holds the members seen while the tree ran, which may by
// now have left every other trace. Returns once no member is left, each member
// adopted by the shell reaped. The root is signalled only through signalRoot
// and never reaped here: its owner does that, and rootState tells whether it
// has; a reaped root is never waited for.
void endProcessTree(pid_t root, const std::string& marker, std::chrono::milliseconds grace,
                    const std::function<void(int signal)>& signalRoot,
                    const std::function<RootState()>& rootState,
                    const std::vector<HeldProcess>& recorded = {});

}  // namespace lumivant
