#include "selfupdate/ShellProbation.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "selfupdate/PathGone.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/StagedSwap.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

// How often a launch that waits for another to show its window looks again.
constexpr std::chrono::milliseconds kStartPollInterval{100};
// A launch's end waits this long for the ledger, no longer: the application
// is quitting.
constexpr std::chrono::milliseconds kEndLedgerWait{2000};
// After SIGKILL a process ends at once unless it is stuck in the kernel.
constexpr std::chrono::milliseconds kKillWait{5000};

}  // namespace

std::string payloadName(const std::string& version) {
  return version.empty() ? "（版本不明）" : version;
}

ShellProbation::ShellProbation(std::string executable, std::string ledgerPath,
                               SwapServices services, std::chrono::milliseconds startLimit)
    : executable_(std::move(executable)),
      ledger_(std::move(ledgerPath)),
      services_(std::move(services)),
      startLimit_(startLimit) {}

ShellProbation::Verdict ShellProbation::judgeLaunch(bool ranInstead) {
  if (executable_.empty()) return Verdict::goOn;
  const std::string previous = previousShellPath(executable_);
  // The common launch: no swap was ever made here.
  const ShellSwapRecord known = ledger_.peek(executable_);
  if (known.empty() && pathIsGone(previous)) return Verdict::goOn;

  // A launch still on its way to its window gets the start limit, and no more.
  const Clock::time_point giveUp = Clock::now() + startLimit_ + kKillWait;
  for (bool judging = known.probation || !pathIsGone(previous); judging;) {
    judging = false;
    std::optional<std::chrono::milliseconds> wait;
    {
      std::optional<SwapLedger::Held> held = ledger_.hold(kLedgerWait);
      if (!held) return Verdict::goOn;
      ShellSwapRecord& record = held->record(executable_);
      settleUnrecordedPrevious(*held, record);
      if (record.probation) wait = judgeOnce(*held, record);
    }
    if (wait && Clock::now() < giveUp) {
      std::this_thread::sleep_for(std::min(*wait, kStartPollInterval));
      judging = true;
    }
  }

  // What lies at the executable's path is what this launch is to run: a
  // launch of a failed shell that another launch has just put the previous
  // one back for runs that one.
  const std::optional<FileIdentity> image = identityOfOwnImage();
  const std::optional<FileIdentity> inPlace = identityOfFile(executable_);
  if (!ranInstead && image && inPlace && *image != *inPlace) return Verdict::runExecutableInstead;
  return Verdict::goOn;
}

void ShellProbation::settleUnrecordedPrevious(SwapLedger::Held& held, ShellSwapRecord& record) {
  const std::optional<FileIdentity> inPlace = identityOfFile(executable_);
  if (record.probation && inPlace && record.probation->file == *inPlace) return;
  const std::string previous = previousShellPath(executable_);
  if (pathIsGone(previous)) {
    // The shell on probation is no longer in place, and there is nothing to go back to.
    if (record.probation) {
      record.probation.reset();
      (void)held.write();
    }
    return;
  }
  // A previous shell that no probation accounts for: a swap ended before it
  // recorded one, a file replaced by other means, or a ledger lost.
  const std::optional<FileDigest> current = digestOfFile(executable_);
  if (!current || !inPlace) return;
  const std::optional<FileDigest> kept = digestOfFile(previous);
  if (kept && kept->sha256 == current->sha256) {
    // Nothing to go back to that is not in place already.
    record.probation.reset();
    (void)held.write();
    (void)services_.files->remove(previous);
    return;
  }
  const auto failed =
      std::find_if(record.failed.begin(), record.failed.end(),
                   [&](const FailedShell& shell) { return shell.sha256 == current->sha256; });
  if (failed != record.failed.end()) {
    record.probation = Probation{failed->version, current->sha256, *inPlace, 0, {}};
    rollBack(held, record,
             "the new shell (payload " + payloadName(failed->version) +
                 ") is one that failed before: " + failed->reason);
    return;
  }
  record.probation = Probation{"", current->sha256, *inPlace, 0, {}};
  (void)held.write();
  services_.log("SHELL-SWAP probation: " + previous + " 还在，现在的壳从头开始试用");
}

std::optional<std::chrono::milliseconds> ShellProbation::judgeOnce(SwapLedger::Held& held,
                                                                   ShellSwapRecord& record) {
  Probation& probation = *record.probation;
  std::vector<SeenLaunch> seen;
  for (const ProbationLaunch& launch : probation.launches) {
    const LaunchLife life = lifeOf(launch.stamp);
    seen.push_back(
        {launch.stamp.pid, life, launch.window,
         life == LaunchLife::running ? ageOf(launch.stamp) : std::chrono::milliseconds(0)});
  }
  const ProbationVerdict verdict = judgeLaunches(seen, startLimit_);
  switch (verdict.kind) {
    case ProbationVerdict::Kind::rollBack:
      for (const size_t hung : verdict.hung) killLaunch(probation.launches[hung].stamp, kKillWait);
      rollBack(held, record,
               "the new shell (payload " + payloadName(probation.version) +
                   ") failed in its probation: " + verdict.reason);
      return {};
    case ProbationVerdict::Kind::waitForStart:
      return verdict.wait;
    case ProbationVerdict::Kind::keep:
      break;
  }
  if (!verdict.forgotten.empty()) {
    for (auto it = verdict.forgotten.rbegin(); it != verdict.forgotten.rend(); ++it)
      probation.launches.erase(probation.launches.begin() + static_cast<ptrdiff_t>(*it));
    (void)held.write();
  }
  return {};
}

void ShellProbation::rollBack(SwapLedger::Held& held, ShellSwapRecord& record,
                              const std::string& what) {
  const Probation probation = *record.probation;
  // Remembered before the previous shell goes back: a launch that finds the
  // failed shell still in place then puts the previous one back itself.
  record.addFailed(FailedShell{probation.version, probation.sha256, what});
  record.probation.reset();
  (void)held.write();

  const std::string previous = previousShellPath(executable_);
  if (auto error = services_.files->replace(previous, executable_)) {
    services_.log("SHELL-SWAP failed: " + what +
                  "; the previous shell could not be put back from " + previous + ": " +
                  error.message());
    return;
  }
  services_.files->syncDirectory(std::filesystem::path(executable_).parent_path().string());
  services_.log("SHELL-SWAP failed, rolled back: " + what);
}

void ShellProbation::beginLaunch() {
  if (executable_.empty() || !ledger_.peek(executable_).probation) return;
  stamp_ = ownLaunchStamp();
  const std::optional<FileIdentity> image = identityOfOwnImage();
  if (!stamp_ || !image) return;
  std::optional<SwapLedger::Held> held = ledger_.hold(kLedgerWait);
  if (!held) return;
  ShellSwapRecord& record = held->record(executable_);
  if (!record.probation || record.probation->file != *image) return;
  record.probation->launches.push_back(ProbationLaunch{*stamp_, false, false});
  onProbation_ = held->write();
}

template <typename Change>
void ShellProbation::changeOwnLaunch(std::chrono::milliseconds wait, const Change& change) {
  if (!onProbation_) return;
  std::optional<SwapLedger::Held> held = ledger_.hold(wait);
  if (!held) return;
  ShellSwapRecord& record = held->record(executable_);
  if (!record.probation) return;
  std::vector<ProbationLaunch>& launches = record.probation->launches;
  const auto own =
      std::find_if(launches.begin(), launches.end(),
                   [&](const ProbationLaunch& launch) { return launch.stamp == *stamp_; });
  if (own == launches.end()) return;
  if (change(*held, record, own)) (void)held->write();
}

// The marks wait as long as a launch does: a window not marked would have
// the next launch take this running shell for one that hangs.
void ShellProbation::windowShown() {
  changeOwnLaunch(kLedgerWait, [](SwapLedger::Held&, ShellSwapRecord&, auto own) {
    own->window = true;
    return true;
  });
}

void ShellProbation::firstPageShown() {
  changeOwnLaunch(kLedgerWait, [](SwapLedger::Held&, ShellSwapRecord&, auto own) {
    own->page = true;
    return true;
  });
}

void ShellProbation::launchWithdrawn() {
  changeOwnLaunch(kLedgerWait, [](SwapLedger::Held&, ShellSwapRecord& record, auto own) {
    record.probation->launches.erase(own);
    return true;
  });
  onProbation_ = false;
}

void ShellProbation::launchEnded() {
  changeOwnLaunch(
      kEndLedgerWait, [this](SwapLedger::Held& held, ShellSwapRecord& record, auto own) {
        Probation& probation = *record.probation;
        const bool proving = own->window && own->page;
        probation.launches.erase(own);
        if (!proving) return true;
        ++probation.cleanLaunches;
        const std::string name = payloadName(probation.version);
        if (probation.cleanLaunches < kProvingLaunches) {
          services_.log("SHELL-SWAP probation: payload " + name + " 试用中，已正常退出 " +
                        std::to_string(probation.cleanLaunches) + " 次（共需 " +
                        std::to_string(kProvingLaunches) + " 次）");
          return true;
        }
        // Written first: a previous shell whose removal is cut short stays
        // accounted for as one nobody recorded, and is judged again.
        record.probation.reset();
        if (!held.write()) return false;
        (void)services_.files->remove(previousShellPath(executable_));
        services_.log("SHELL-SWAP confirmed: payload " + name + " 已通过试用，删除旧壳");
        return false;
      });
  onProbation_ = false;
}

void ShellProbation::newShellDidNotStart(const std::string& sha256,
                                         const std::string& whatHappened) {
  std::optional<SwapLedger::Held> held = ledger_.hold(kLedgerWait);
  // Without the lock the next launch sees to it: the new shell's launch, if
  // it got as far as recording one, has ended.
  if (!held) return;
  ShellSwapRecord& record = held->record(executable_);
  if (!record.probation || record.probation->sha256 != sha256) return;
  rollBack(*held, record, "the new shell did not start: " + whatHappened);
}

}  // namespace lumivant
