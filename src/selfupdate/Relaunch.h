#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace lumivant {

// What a detached process is given besides its arguments.
struct DetachedExtras {
  // Becomes the new process's descriptor 3 when not -1.
  int passedDescriptor = -1;
  // "NAME=value" entries added to this process's environment.
  std::vector<std::string> environment;
};

// Starts program with the given argument vector (argv[0] included) as a new
// process that belongs to nobody: its own session, the environment of this
// one, default signal handling, and no descriptors beyond 0, 1 and 2 (and 3
// when one is passed). Nobody waits for it. Its process id, or nothing when it
// could not be started; then error, when given, holds the reason.
std::optional<pid_t> startDetached(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const DetachedExtras& extras = {}, int* error = nullptr);

}  // namespace lumivant
