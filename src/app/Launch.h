#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/ApplicationDelegate.h"
#include "host/Host.h"

namespace lumivant {

class ShellProbation;
class StartConfirmation;

// The launch of the process, up to the point where the application builds
// its window: a question about the shell (its version, its options, an
// option it does not know) is answered at once, without a display; a
// swapped-in shell on probation is judged, and after a launch of it that
// failed the previous shell is put back and started instead; a shell already
// running for the data root is brought to the front instead; then the display
// opens. Each stage does one thing through the host and names the next one,
// or ends the launch with what the host is to do.
class Launch {
 public:
  // executable: the running shell's file as the bundle reported it at start.
  Launch(Host& host, std::optional<std::string> executable, ShellProbation& probation,
         std::string applicationId);

  // Runs the stages from the first, given the process's arguments (the
  // program's name first). An outcome of run leaves the window to the caller.
  LaunchOutcome run(const std::vector<std::string>& arguments);

  // How this shell tells the shell that relaunched it after a swap that it
  // has started; null when no shell relaunched it.
  std::shared_ptr<StartConfirmation> takeStartConfirmation() {
    return std::move(startConfirmation_);
  }

 private:
  // The stages, in the order in which a launch can pass them.
  enum class Stage {
    readRequest,         // the arguments and what a relaunching shell left in the environment
    judgeSwappedShell,   // a swapped-in shell on probation, and launches of it that failed
    startExecutable,     // the executable's file is no longer this image: it runs instead
    claimDataRoot,       // one shell runs per data root
    handOver,            // another one runs for it: that one comes to the front
    recordLaunch,        // this launch runs: a shell on probation counts it
    openDisplay,         // from here on the shell may show something; without one it ends
    awaitReplacedShell,  // the shell whose place this one took is on its way out
    ready,               // the window comes next, then the event loop
  };
  using Next = std::variant<Stage, LaunchOutcome>;

  Next advance(Stage stage);
  Next readRequest();
  Next claimDataRoot();
  Next handOver();
  Next judgeSwappedShell();
  Next startExecutable();

  Host& host_;
  const std::optional<std::string> executable_;
  ShellProbation& probation_;
  const std::string applicationId_;
  std::vector<std::string> arguments_;
  // Set when this shell was relaunched to take another one's place.
  bool replacesRunningShell_ = false;
  // Set when this process was started in place of a stale image already.
  bool ranInstead_ = false;
  std::shared_ptr<StartConfirmation> startConfirmation_;
};

}  // namespace lumivant
