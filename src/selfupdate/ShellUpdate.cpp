#include "selfupdate/ShellUpdate.h"

#include "selfupdate/Declaration.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"

namespace lumivant {

namespace {

// How long a relaunched shell waits, once it said it started, for the shell
// that relaunched it to stop its backend and go.
constexpr std::chrono::seconds kRelauncherEndLimit{5};
// How long the end of the application waits for a declaration being written.
constexpr std::chrono::seconds kDeclarationFinishLimit{5};

ShellUpdate::Relauncher detachedRelauncher(MainQueue& queue, const Executor& executor) {
  return [&queue, executor](const std::string& bundleDirectory,
                            std::function<void(StartReport)> reported) {
    // Started here, so that the new shell is on its way before the swap returns.
    std::shared_ptr<RelaunchedShell> shell = relaunchBundle(bundleDirectory);
    executor([shell, &queue, reported = std::move(reported)] {
      queue.post([report = shell->awaitStart(), reported] { reported(report); });
    });
  };
}

}  // namespace

ShellUpdate::ShellUpdate(Bundle bundle, std::string dataRoot, MainQueue& mainQueue,
                         Executor executor, Relauncher relaunch)
    : bundle_(std::move(bundle)),
      dataRoot_(std::move(dataRoot)),
      mainQueue_(mainQueue),
      executor_(std::move(executor)),
      relaunch_(relaunch ? std::move(relaunch) : detachedRelauncher(mainQueue, executor_)) {}

void ShellUpdate::cleanupOldShellFiles() {
  if (bundle_.executable) lumivant::cleanupOldShellFiles(*bundle_.executable, PreviousShell::keep);
}

void ShellUpdate::removePreviousShell() {
  if (bundle_.executable)
    lumivant::cleanupOldShellFiles(*bundle_.executable, PreviousShell::remove);
}

bool ShellUpdate::replaceMyselfIfANewerShellIsStaged(std::function<void()> ifTheNewShellFails) {
  // A shell that has yet to tell the shell that relaunched it that it has
  // started, or waits to hear that from a shell it relaunched, does not swap:
  // the previous shell beside it may still be put back.
  if (startConfirmation_ || awaitingNewShell_) return false;
  const SwapSite site{bundle_.executable.value_or(""), bundle_.directory, bundle_.shortVersion(),
                      dataRoot_};
  const SwapActions actions{[&](const std::string& bundleDirectory) {
    awaitingNewShell_ = true;
    relaunch_(bundleDirectory, [this, alive = std::weak_ptr<bool>(alive_),
                                ifTheNewShellFails](const StartReport& report) {
      if (alive.lock()) newShellReported(report, ifTheNewShellFails);
    });
  }};
  return lumivant::replaceMyselfIfANewerShellIsStaged(site, actions);
}

void ShellUpdate::newShellReported(const StartReport& report,
                                   const std::function<void()>& ifItFailed) {
  if (report.started) {
    if (onSwapped) onSwapped();
    return;
  }
  rollBackSwap(bundle_.executable.value_or(""), report.whatHappened);
  awaitingNewShell_ = false;
  if (onRolledBack) onRolledBack();
  if (ifItFailed) ifItFailed();
}

void ShellUpdate::declareMyself() {
  // Hashing the executable takes a while; no launch waits for it.
  if (!bundle_.executable) return;
  executor_([executable = *bundle_.executable, root = dataRoot_, state = declarations_] {
    {
      std::lock_guard lock(state->mutex);
      if (state->ending) return;
      ++state->writing;
    }
    lumivant::declareMyself(executable, root);
    std::lock_guard lock(state->mutex);
    --state->writing;
    state->finished.notify_all();
  });
}

void ShellUpdate::finishDeclaration() {
  std::unique_lock lock(declarations_->mutex);
  declarations_->ending = true;
  declarations_->finished.wait_for(lock, kDeclarationFinishLimit,
                                   [this] { return declarations_->writing == 0; });
}

void ShellUpdate::relaunchedBySwap(std::shared_ptr<StartConfirmation> confirmation) {
  startConfirmation_ = std::move(confirmation);
}

void ShellUpdate::confirmStart(std::function<void()> then) {
  if (!startConfirmation_) {
    removePreviousShell();
    if (then) then();
    return;
  }
  startConfirmation_->confirm();
  // The shell that relaunched this one quits now, stopping its backend; the
  // port and the previous shell are this one's once it has gone.
  executor_([confirmation = startConfirmation_, &queue = mainQueue_,
             alive = std::weak_ptr<bool>(alive_), this, then = std::move(then)] {
    confirmation->awaitRelauncherEnd(kRelauncherEndLimit);
    queue.post([alive, this, then] {
      if (!alive.lock()) return;
      startConfirmation_.reset();
      removePreviousShell();
      if (then) then();
    });
  });
}

}  // namespace lumivant
