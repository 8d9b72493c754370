// Ending a backend's tree: the sweep that signals every member through the
// pidfd it was found with, and goes on finding members until none is left.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36's <sys/pidfd.h> lacks the extern "C" block of its other headers.
extern "C" {
#include <sys/pidfd.h>
}

#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "backend/ProcessTree.h"
#include "base/OwnChildren.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(20);
// After SIGKILL a process ends at once unless it is stuck in the kernel; past
// this the shell stops waiting for such a one.
constexpr auto kKillWait = std::chrono::seconds(5);

class TreeEnding {
 public:
  TreeEnding(pid_t root, std::string marker, const std::function<RootState()>& rootState,
             const std::vector<HeldProcess>& recorded)
      : root_(root),
        marker_(std::move(marker)),
        rootState_(rootState),
        self_(getpid()),
        selfGroup_(getpgrp()),
        since_(currentClockTick()) {
    // Those that ended already too: the first look reaps any the shell adopted.
    for (const HeldProcess& member : recorded) {
      if (member.pidfd && *member.pidfd) held_[member.key.pid] = member;
    }
  }

  // Looks at the processes once: holds the members found since the last look,
  // lets go of those that ended (reaping the ones the shell adopted) and sends
  // signal to every running member not sent it before. False once a look
  // finds no member left, the root included: a look that saw members end
  // is followed by one more, since what they started just before they ended
  // shows only in a listing made after.
  bool signalMembers(int signal) {
    const RootState rootNow = rootState_();
    const std::vector<ProcessEntry> processes = listProcesses(marker_);
    holdNewMembers(processes, rootNow);

    bool anyLeft = false;
    for (auto member = held_.begin(); member != held_.end();) {
      const UniqueFd& pidfd = *member->second.pidfd;
      if (hasEnded(pidfd)) {
        // A zombie the shell adopted is reaped here, through its pidfd; any
        // other has a parent in the tree that will, or that ends and hands it
        // to the shell. Either way its id is nobody's concern any more.
        siginfo_t info{};
        if (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd.get()), &info,
                   WEXITED | WNOHANG) == 0 &&
            info.si_pid != 0) {
          forgetOwnChild(member->first);
        }
        member = held_.erase(member);
        anyLeft = true;  // look once more
        continue;
      }
      anyLeft = true;
      auto& sent = signal == SIGKILL ? killed_ : terminated_;
      if (sent.insert(member->second.key).second) {
        pidfd_send_signal(pidfd.get(), signal, nullptr, 0);
      }
      ++member;
    }
    // Only the unreaped root is the owner's to signal and to reap.
    if (rootNow == RootState::unreaped) {
      const auto root =
          std::find_if(processes.begin(), processes.end(),
                       [this](const ProcessEntry& entry) { return entry.pid == root_; });
      if (root != processes.end() && root->state != 'Z') anyLeft = true;
    }
    return anyLeft;
  }

 private:
  void holdNewMembers(const std::vector<ProcessEntry>& processes, RootState rootNow) {
    TreeContext context{root_, rootNow, self_, selfGroup_, {}, since_, {}};
    bool heldMemberInRootGroup = false;
    for (const ProcessEntry& entry : processes) {
      if (entry.parent == self_ && mayBeOwnChild(entry.pid))
        context.ownChildren.push_back(entry.pid);
      const auto member = held_.find(entry.pid);
      // Running after the listing: the listed process of that id is the held one.
      if (member != held_.end() && !hasEnded(*member->second.pidfd)) {
        context.knownMembers.push_back(entry.pid);
        heldMemberInRootGroup = heldMemberInRootGroup || entry.group == root_;
      }
    }
    const bool rootGroupIsTheBackends = rootNow == RootState::unreaped || heldMemberInRootGroup;

    std::map<pid_t, const ProcessEntry*> listed;
    for (const ProcessEntry& entry : processes) listed[entry.pid] = &entry;
    for (const pid_t pid : treeMembers(processes, context)) {
      if (held_.count(pid) || (pid == root_ && rootNow == RootState::unreaped)) continue;
      const auto entry = listed.find(pid);
      // Not listed (a known member that ended meanwhile), or ended already
      // and left for its parent to reap.
      if (entry == listed.end() || entry->second->state == 'Z') continue;
      auto pidfd = std::make_shared<const UniqueFd>(pidfd_open(pid, 0));
      if (!*pidfd) continue;  // gone meanwhile
      if (stillAMember(*entry->second, context, rootGroupIsTheBackends)) {
        held_[pid] = {{pid, entry->second->startTime}, std::move(pidfd)};
      }
    }
  }

  // Read again once the pidfd is open: whether the process that has the id
  // now is the one listed, for a reason that still holds. (Its id may have
  // been given to another process in between.) One whose parent is a member
  // not held yet is looked at again at the next look.
  bool stillAMember(const ProcessEntry& listed, const TreeContext& context,
                    bool rootGroupIsTheBackends) const {
    const std::optional<ProcessEntry> now = readProcess(listed.pid, marker_);
    if (!now || now->startTime != listed.startTime) return false;
    if (now->carriesMarker) return true;
    if (root_ > 0 && now->group == root_ && rootGroupIsTheBackends) return true;
    if (adoptedWhileEnding(*now, context)) return true;
    // A child of the unreaped root or of a held member that still runs, so
    // that its id still names that parent.
    if (now->parent == root_) return rootState_() == RootState::unreaped;
    const auto parent = held_.find(now->parent);
    return parent != held_.end() && !hasEnded(*parent->second.pidfd);
  }

  const pid_t root_;
  const std::string marker_;
  const std::function<RootState()>& rootState_;
  const pid_t self_;
  const pid_t selfGroup_;
  const unsigned long long since_;  // the clock tick the ending began in
  std::map<pid_t, HeldProcess> held_;
  std::set<ProcessKey> terminated_, killed_;
};

}  // namespace

void endProcessTree(pid_t root, const std::string& marker, std::chrono::milliseconds grace,
                    const std::function<void(int signal)>& signalRoot,
                    const std::function<RootState()>& rootState,
                    const std::vector<HeldProcess>& recorded) {
  TreeEnding ending(root, marker, rootState, recorded);
  const Clock::time_point killAt = Clock::now() + grace;
  int signal = SIGTERM;
  signalRoot(SIGTERM);
  for (;;) {
    if (!ending.signalMembers(signal)) return;
    const Clock::time_point now = Clock::now();
    if (signal == SIGTERM && now >= killAt) {
      signal = SIGKILL;
      signalRoot(SIGKILL);
      continue;
    }
    if (signal == SIGKILL && now >= killAt + kKillWait) return;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace lumivant
