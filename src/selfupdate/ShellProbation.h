#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "selfupdate/LaunchStamp.h"
#include "selfupdate/ProbationRules.h"
#include "selfupdate/SwapLedger.h"
#include "selfupdate/SwapServices.h"

namespace lumivant {

// How long a launch waits for another shell's step on the ledger (a swap
// tries its staged shell under the lock, for up to kShellTrialLimit).
inline constexpr std::chrono::milliseconds kLedgerWait{30'000};

// A swapped-in shell on probation, from the side of every launch of the
// executable, whichever shell it runs: the new one, the previous one put back,
// or one whose file was replaced meanwhile.
//
// The previous shell stays at "<executable>.old" until the new one has proved
// itself: kProvingLaunches launches that showed the window, loaded the app's
// first page and ended by quitting. Each launch of the new shell is recorded
// in the ledger as it begins and leaves the ledger as it ends cleanly, so a
// launch found there that has ended crashed or was killed, and one that has
// had no window for longer than the start limit hangs. Either puts the
// previous shell back, remembers the new one as failed, and is done by
// whichever launch sees it first: the shell that swapped, waiting for the new
// one to start, or the next launch of either executable.
class ShellProbation {
 public:
  ShellProbation(std::string executable, std::string ledgerPath, SwapServices services = {},
                 std::chrono::milliseconds startLimit = kProbationStartLimit);

  enum class Verdict {
    goOn,
    // The executable's file is no longer this process's image (the previous
    // shell is back, say): the launch runs the executable anew instead.
    runExecutableInstead,
  };
  // Before the launch claims the data root, so that a launch of the shell on
  // probation that hangs with the data root's claim cannot hold this one.
  // Ends launches of it that hang, puts the previous shell back after a
  // launch that failed, and waits, up to the start limit, for one that is
  // still on its way to its window. ranInstead: this process was started in
  // place of a stale image already, and does not do so twice.
  Verdict judgeLaunch(bool ranInstead = false);
  // Once the launch is sure to run: a launch of the shell on probation is
  // recorded from here on.
  void beginLaunch();
  // Its window is up; the app's first page has finished loading.
  void windowShown();
  void firstPageShown();
  // The launch ends by quitting. The last of the proving launches removes the
  // previous shell.
  void launchEnded();
  // The launch ends before its window for a reason that is not the shell's
  // (no display to show on): it counts neither for nor against the shell.
  void launchWithdrawn();

  // The shell that swapped heard that the new shell, with these bytes, did not
  // start: unless another launch saw to it already, the previous shell goes
  // back and the new one is remembered as failed.
  void newShellDidNotStart(const std::string& sha256, const std::string& whatHappened);

  bool onProbation() const { return onProbation_; }

 private:
  // Each of these runs with the ledger held.
  void settleUnrecordedPrevious(SwapLedger::Held& held, ShellSwapRecord& record);
  // Judges the launches once; the time to wait before judging again, if any.
  std::optional<std::chrono::milliseconds> judgeOnce(SwapLedger::Held& held,
                                                     ShellSwapRecord& record);
  void rollBack(SwapLedger::Held& held, ShellSwapRecord& record, const std::string& what);
  // Changes this launch's entry, waiting up to wait for the ledger.
  template <typename Change>
  void changeOwnLaunch(std::chrono::milliseconds wait, const Change& change);

  const std::string executable_;
  const SwapLedger ledger_;
  const SwapServices services_;
  const std::chrono::milliseconds startLimit_;
  std::optional<LaunchStamp> stamp_;
  bool onProbation_ = false;
};

// The payload version as log lines name it.
std::string payloadName(const std::string& version);

}  // namespace lumivant
