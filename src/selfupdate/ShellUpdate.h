#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "host/Executor.h"
#include "host/MainQueue.h"
#include "selfupdate/Bundle.h"
#include "selfupdate/RelaunchedShell.h"
#include "selfupdate/ShellProbation.h"

namespace lumivant {

class StartConfirmation;

// The running shell's side of self-update: it clears what an earlier swap
// left, puts a newer staged shell in its own place, relaunches it and waits
// until the new shell says that it has started, and declares itself in the
// data root. A shell that a swap relaunched says so in turn to the shell that
// relaunched it. Whatever the swap leaves to prove, the probation keeps track
// of. Main thread only.
class ShellUpdate {
 public:
  // Starts the bundle's executable anew, to take this shell's place, and
  // reports once, on the main thread, whether it said that it started.
  using Relauncher = std::function<void(const std::string& bundleDirectory,
                                        std::function<void(StartReport)> reported)>;

  // Without a relauncher, the bundle is started as a detached process, and
  // the executor waits until it says that it has started.
  // ledger: the self-update ledger's file in the shell's state directory.
  ShellUpdate(Bundle bundle, std::string dataRoot, std::string ledger, MainQueue& mainQueue,
              Executor executor, Relauncher relaunch = {});

  // Called once the shell a swap put in place has said that it started: the
  // application is to end now.
  std::function<void()> onSwapped;
  // Called once the new shell did not start and this one goes on.
  std::function<void()> onRolledBack;

  // Removes what swaps left half-made. The previous shell stays until the
  // shell on probation has proved itself.
  void cleanupOldShellFiles();
  // True when a newer staged shell took this one's place and was relaunched.
  // This shell then waits until the new one says that it has started:
  // onSwapped runs when it does; otherwise the previous shell is put back and
  // ifTheNewShellFails runs, so that the caller goes on where it left off.
  bool replaceMyselfIfANewerShellIsStaged(std::function<void()> ifTheNewShellFails);
  // Hashes the executable and writes shell.json on the executor.
  void declareMyself();
  // Called as the application ends: waits, up to a few seconds, for a
  // declaration being written, so that the process does not end in the middle
  // of it (and of the hashing library's own clean-up), and keeps one not yet
  // begun from beginning.
  void finishDeclaration();

  // This shell was relaunched by a swap: once its window shows, it tells the
  // shell that relaunched it, through confirmation, that it has started.
  void relaunchedBySwap(std::shared_ptr<StartConfirmation> confirmation);
  // Called once the window is up. Tells the shell that relaunched this one,
  // if one did, that this one has started, and runs then on the main thread
  // once that shell has gone; without such a shell, runs then at once.
  void confirmStart(std::function<void()> then);
  // Whether this shell waits to hear from a shell it relaunched.
  bool awaitsNewShell() const { return awaitingNewShell_; }

  const Bundle& bundle() const { return bundle_; }
  ShellProbation& probation() { return probation_; }

 private:
  void newShellReported(const StartReport& report, const std::function<void()>& ifItFailed);

  const Bundle bundle_;
  const std::string dataRoot_;
  const std::string ledger_;
  ShellProbation probation_;
  MainQueue& mainQueue_;
  const Executor executor_;
  const Relauncher relaunch_;
  std::shared_ptr<StartConfirmation> startConfirmation_;
  bool awaitingNewShell_ = false;
  // The bytes of the shell this one swapped in and waits for.
  std::string newShellSha256_;
  // Declarations in flight on the executor, shared with them.
  struct Declarations {
    std::mutex mutex;
    std::condition_variable finished;
    int writing = 0;
    bool ending = false;
  };
  const std::shared_ptr<Declarations> declarations_ = std::make_shared<Declarations>();
  // Work posted back to the main thread does nothing once this is gone.
  const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumivant
