// Which processes belong to a backend's tree, from /proc as it might look.

#include "backend/ProcessTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr pid_t kShell = 100;
constexpr pid_t kBackend = 200;

ProcessEntry process(pid_t pid, pid_t parent, pid_t group, bool marked = false,
                     unsigned long long startTime = 0) {
  ProcessEntry entry;
  entry.pid = pid;
  entry.parent = parent;
  entry.group = group;
  entry.state = 'S';
  entry.startTime = startTime;
  entry.carriesMarker = marked;
  return entry;
}

std::vector<pid_t> membersOf(const std::vector<ProcessEntry>& machine, RootState rootState,
                             std::vector<pid_t> known = {}) {
  return treeMembers(machine,
                     {kBackend, rootState, kShell, 90, std::move(known), std::nullopt, {}});
}

// The shell (100, in group 90 of the terminal), its web engine's helpers, a
// backend (200) with a worker, a kernel in a session of its own with a child of
// its own, and a daemon that detached from a worker that has ended since and
// so was handed to the shell.
const std::vector<ProcessEntry> kMachine = {
    process(1, 0, 1),
    process(90, 1, 90),
    process(kShell, 90, 90),
    process(110, kShell, 90),                   // WebKitWebProcess
    process(111, kShell, 90),                   // WebKitNetworkProcess
    process(kBackend, kShell, kBackend, true),  // the backend
    process(201, kBackend, kBackend, true),     // a worker
    process(202, kBackend, 202, true),          // a kernel in its own session
    process(203, 202, 202),                     // the kernel's child, environment cleared
    process(204, kShell, 204, true),            // a detached daemon, adopted by the shell
    process(205, kShell, kBackend),             // a worker whose parent ended, env cleared
    process(300, 1, 300, false),                // someone else's program
    process(301, 300, 300, false),
};

TEST(ProcessTreeTest, FindsTheBackendAndEveryDescendantWhereverItWent) {
  EXPECT_THAT(membersOf(kMachine, RootState::unreaped),
              ElementsAre(kBackend, 201, 202, 203, 204, 205));
}

TEST(ProcessTreeTest, AfterTheBackendWasReapedItsIdAloneNoLongerCounts) {
  // The backend's id handed to an unrelated process of another group.
  std::vector<ProcessEntry> machine = {
      process(kShell, 90, 90), process(kBackend, 1, 777), process(201, kShell, kBackend, true),
      process(204, kShell, 204, true), process(205, kShell, kBackend)};
  EXPECT_THAT(membersOf(machine, RootState::reaped), ElementsAre(201, 204, 205));
}

TEST(ProcessTreeTest, AGroupOfTheReapedBackendsIdCountsOnlyWhileAMemberIsInIt) {
  // The backend's id was given to an unrelated program that leads a group of
  // that id, as shells and terminal tabs do; its worker is in the group too.
  const std::vector<ProcessEntry> reused = {process(kShell, 90, 90), process(kBackend, 1, kBackend),
                                            process(401, kBackend, kBackend)};
  EXPECT_THAT(membersOf(reused, RootState::reaped), IsEmpty());
  // A member known from before that is still in the group proves the group
  // is the backend's: the kernel gives no process its id while it has members.
  const std::vector<ProcessEntry> orphanedGroup = {
      process(kShell, 90, 90), process(201, kShell, kBackend), process(202, kShell, kBackend)};
  EXPECT_THAT(membersOf(orphanedGroup, RootState::reaped), IsEmpty());
  EXPECT_THAT(membersOf(orphanedGroup, RootState::reaped, {201}), ElementsAre(201, 202));
}

TEST(ProcessTreeTest, NeverTheShellNorWhatIsAboveOrBesideIt) {
  std::vector<ProcessEntry> machine = {process(1, 0, 1, true), process(kShell, 1, kBackend, true),
                                       process(110, kShell, 90),
                                       process(kBackend, kShell, kBackend)};
  // Even a shell that carried the marker or sat in the backend's group is left
  // alone, and so is init; its other children are not the backend's.
  EXPECT_THAT(membersOf(machine, RootState::unreaped), ElementsAre(kBackend));
  EXPECT_THAT(membersOf({process(kShell, 90, 90)}, RootState::unreaped), IsEmpty());
}

TEST(ProcessTreeTest, WhileTheTreeEndsAnOrphanTheShellAdoptsIsTheTrees) {
  // Members that, on SIGTERM, started a process in a session of its own with
  // an empty environment and exited: nothing but the time of its birth and
  // its new parent, the shell, tells where it came from.
  constexpr unsigned long long kEndingBegan = 5000;
  const std::vector<ProcessEntry> machine = {
      process(kShell, 90, 90),
      process(110, kShell, 90, false, kEndingBegan + 3),  // a web process the engine started now
      process(120, kShell, 120, false, 100),  // a program the URL handler left, adopted long ago
      process(130, kShell, 130, false, kEndingBegan),      // born as the ending began
      process(131, 130, 131, false, kEndingBegan + 1),     // and its own child
      process(140, kShell, 140, false, kEndingBegan + 2),  // a child the shell started itself
  };
  TreeContext ending{kBackend, RootState::reaped, kShell, 90, {}, kEndingBegan, {140}};
  EXPECT_THAT(treeMembers(machine, ending), ElementsAre(130, 131));
  // Before the ending began nothing the shell adopts is taken for the tree's.
  ending.adoptingSince.reset();
  EXPECT_THAT(treeMembers(machine, ending), IsEmpty());
}

}  // namespace
}  // namespace lumivant
