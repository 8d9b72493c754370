#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace lumivant {

// Starts program with the given argument vector (argv[0] included) as a new
// process that belongs to nobody: its own session, the environment of this
// one, default signal handling, and no descriptors beyond 0, 1 and 2. Nobody
// waits for it. Its process id, or nothing when it could not be started.
std::optional<pid_t> startDetached(const std::string& program,
                                   const std::vector<std::string>& arguments);

}  // namespace lumivant
