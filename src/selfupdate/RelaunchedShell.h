#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "base/UniqueFd.h"

namespace lumivant {

// How long a relaunched shell has to say that it started.
inline constexpr std::chrono::seconds kNewShellStartLimit{20};

// What became of a relaunched shell that was to say it started.
struct StartReport {
  bool started = false;
  // When it did not start: what was seen, naming no path ("it exited with
  // status 1 before it showed its window").
  std::string whatHappened;
};

// The shell that a swap relaunched, as the swapping shell sees it: a detached
// process in its own session that holds the other end of a socket, through
// which it says that it started.
class RelaunchedShell {
 public:
  // Starts program with arguments, its end of the socket at descriptor 3 and
  // named in its environment. Never null; a shell that could not be started
  // reports so from awaitStart.
  static std::unique_ptr<RelaunchedShell> start(const std::string& program,
                                                const std::vector<std::string>& arguments);

  // Blocks until the shell says it started, ends, or limit passes. A shell
  // that has not said it started by then is killed and reaped. Once it said
  // so, this process keeps its end of the socket open until it ends.
  StartReport awaitStart(std::chrono::milliseconds limit = kNewShellStartLimit);

  pid_t pid() const { return pid_; }

 private:
  RelaunchedShell() = default;
  // Kills the shell if it still runs and says how it ended.
  std::string stopAndDescribe();

  pid_t pid_ = -1;
  UniqueFd process_;  // a pidfd
  UniqueFd channel_;
  std::string startFailure_;
};

// Starts <bundle>/Lumivant as a new shell told to take this instance's place,
// to say through the socket that it started.
std::unique_ptr<RelaunchedShell> relaunchBundle(const std::string& bundleDirectory);

}  // namespace lumivant
