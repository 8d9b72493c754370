#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "backend/Backend.h"
#include "backend/HeldPort.h"
#include "backend/PortMemory.h"
#include "backend/ShellError.h"

namespace lumivant {

// The description of a platform error that ended a local start.
struct StartFailure {
  std::string description;
};

// What the background part of a local start ends with: a ready backend, one of
// the shell's own start-up errors, or a platform failure.
using LocalStartOutcome = std::variant<std::shared_ptr<Backend>, ShellError, StartFailure>;

inline constexpr double kReadinessTimeoutSeconds = 120.0;

// The backends that local starts launched and did not hand over as ready: those
// still starting and those that never became ready, which run on by themselves.
// Quitting stops them all. Thread-safe: starts admit from their workers while
// the main thread quits.
class LaunchedBackends {
 public:
  // Records a backend about to be launched. False once stopAll() has run: the
  // shell is quitting and the backend must not be launched.
  bool admit(const std::shared_ptr<Backend>& backend);
  // Lets go of a backend that became ready; its new owner stops it.
  void release(const std::shared_ptr<Backend>& backend);
  // Stops every recorded backend with its whole tree, and admits no more.
  void stopAll();

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Backend>> backends_;
  bool closed_ = false;
};

// The socket the shell holds for backends that take it: bound at the first
// start and kept for the whole run, so that every backend of the run is
// handed the same one. Thread-safe.
class HeldPortKeeper {
 public:
  // The socket held already, or one bound now: on the port that ports
  // remembers while it can be had, which is remembered when none was yet (a
  // port taken for one run because the kept one was busy is not kept).
  // Nothing when no port can be had.
  std::shared_ptr<const HeldPort> acquire(const PortMemory& ports);

 private:
  std::mutex mutex_;
  std::shared_ptr<const HeldPort> held_;
};

// What every local start of one run shares, for backends that take the
// shell's socket: that socket and the secret they answer to. A backend that
// binds its port itself is given neither, and makes a secret of its own.
struct LocalStartRun {
  std::string secret;
  std::shared_ptr<const HeldPort> heldPort;
};

// Builds, launches and waits for a backend. On the run's held socket when it
// has one; otherwise the backend binds the port that ports remembers while it
// is free, and the port is remembered when none was remembered yet (a port
// taken for one launch because the kept one was busy is not kept). Blocks for
// up to about 125 seconds. With launched, the backend is recorded there before
// it is launched.
LocalStartOutcome startLocalBackend(const std::string& python, const std::string& logDirectory,
                                    const PortMemory& ports, const LocalStartRun& run,
                                    double readinessTimeoutSeconds = kReadinessTimeoutSeconds,
                                    LaunchedBackends* launched = nullptr);

}  // namespace lumivant
