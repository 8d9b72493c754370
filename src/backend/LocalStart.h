#pragma once

#include <memory>
#include <string>
#include <variant>

#include "backend/Backend.h"
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

// Builds, launches and waits for a backend on the port that ports remembers
// while it is free, and remembers the port when it had to be another one.
// Blocks for up to about 125 seconds.
LocalStartOutcome startLocalBackend(const std::string& python, const std::string& logDirectory,
                                    const PortMemory& ports,
                                    double readinessTimeoutSeconds = kReadinessTimeoutSeconds);

}  // namespace lumivant
