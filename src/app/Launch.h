#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/ApplicationDelegate.h"
#include "host/Host.h"

namespace lumivant {

class StartConfirmation;

// The launch of the process, up to the point where the application builds
// its window: a question about the shell (its version, its options, an
// option it does not know) is answered at once, without a display; a shell already
// running for the data root is brought to the front instead; a swapped-in
// shell whose start nobody confirmed gets one launch to show its window, and
// after one that did not, the previous shell is put back and started instead;
// then the display opens. Each stage does one thing through the host and
// names the next one, or ends the launch with what the host is to do.
class Launch {
 public:
  // executable: the running shell's file as the bundle reported it at start.
  Launch(Host& host, std::optional<std::string> executable, std::string applicationId);

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
    readRequest,            // the arguments and what a relaunching shell left in the environment
    claimDataRoot,          // one shell runs per data root
    handOver,               // another one runs for it: that one comes to the front
    judgeUnconfirmedShell,  // a swapped-in shell that nobody heard start
    startPreviousShell,     // it did not show its window: the previous shell runs instead
    openDisplay,            // from here on the shell may show something
    awaitReplacedShell,     // the shell whose place this one took is on its way out
    ready,                  // the window comes next, then the event loop
  };
  using Next = std::variant<Stage, LaunchOutcome>;

  Next advance(Stage stage);
  Next readRequest();
  Next claimDataRoot();
  Next handOver();
  Next judgeUnconfirmedShell();
  Next startPreviousShell();

  Host& host_;
  const std::optional<std::string> executable_;
  const std::string applicationId_;
  std::vector<std::string> arguments_;
  // Set when this shell was relaunched to take another one's place.
  bool replacesRunningShell_ = false;
  std::shared_ptr<StartConfirmation> startConfirmation_;
};

}  // namespace lumivant
