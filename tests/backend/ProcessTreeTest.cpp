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

ProcessEntry process(pid_t pid, pid_t parent, pid_t group, bool marked = false) {
  ProcessEntry entry;
  entry.pid = pid;
  entry.parent = parent;
  entry.group = group;
  entry.state = 'S';
  entry.carriesMarker = marked;
  return entry;
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
  EXPECT_THAT(treeMembers(kMachine, kBackend, RootState::unreaped, kShell),
              ElementsAre(kBackend, 201, 202, 203, 204, 205));
}

TEST(ProcessTreeTest, AfterTheBackendWasReapedItsIdAloneNoLongerCounts) {
  // The backend's id handed to an unrelated process of another group.
  std::vector<ProcessEntry> machine = {
      process(kShell, 90, 90), process(kBackend, 1, 777), process(201, kShell, kBackend, true),
      process(204, kShell, 204, true), process(205, kShell, kBackend)};
  EXPECT_THAT(treeMembers(machine, kBackend, RootState::reaped, kShell),
              ElementsAre(201, 204, 205));
}

TEST(ProcessTreeTest, AGroupOfTheReapedBackendsIdCountsOnlyWhileAMemberIsInIt) {
  // The backend's id was given to an unrelated program that leads a group of
  // that id, as shells and terminal tabs do; its worker is in the group too.
  const std::vector<ProcessEntry> reused = {process(kShell, 90, 90), process(kBackend, 1, kBackend),
                                            process(401, kBackend, kBackend)};
  EXPECT_THAT(treeMembers(reused, kBackend, RootState::reaped, kShell), IsEmpty());
  // A member known from before that is still in the group proves the group
  // is the backend's: the kernel gives no process its id while it has members.
  const std::vector<ProcessEntry> orphanedGroup = {
      process(kShell, 90, 90), process(201, kShell, kBackend), process(202, kShell, kBackend)};
  EXPECT_THAT(treeMembers(orphanedGroup, kBackend, RootState::reaped, kShell), IsEmpty());
  EXPECT_THAT(treeMembers(orphanedGroup, kBackend, RootState::reaped, kShell, {201}),
              ElementsAre(201, 202));
}

TEST(ProcessTreeTest, NeverTheShellNorWhatIsAboveOrBesideIt) {
  std::vector<ProcessEntry> machine = {process(1, 0, 1, true), process(kShell, 1, kBackend, true),
                                       process(110, kShell, 90),
                                       process(kBackend, kShell, kBackend)};
  // Even a shell that carried the marker or sat in the backend's group is left
  // alone, and so is init; its other children are not the backend's.
  EXPECT_THAT(treeMembers(machine, kBackend, RootState::unreaped, kShell), ElementsAre(kBackend));
  EXPECT_THAT(treeMembers({process(kShell, 90, 90)}, kBackend, RootState::unreaped, kShell),
              IsEmpty());
}

}  // namespace
}  // namespace lumivant
