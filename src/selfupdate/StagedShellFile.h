#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/UniqueFd.h"

namespace lumivant {

// What opening the staged shell found. The swap opens it once, never through a
// symbolic link, and checks, hashes and copies it through that one descriptor,
// so the file it judged is the file it installs.
struct StagedShellOpening {
  UniqueFd fd;                         // open when it is a regular file
  uint64_t size = 0;                   // its length then
  std::optional<std::string> problem;  // why it can never be swapped in: a link, a device
};

// Neither an open file nor a problem when there is nothing to consider: no
// file, one that cannot be read, or a directory.
StagedShellOpening openStagedShell(const std::string& path);

}  // namespace lumivant
