#pragma once

#include <functional>
#include <optional>
#include <string>

#include "selfupdate/SwapFileOperations.h"

namespace lumivant {

// Runs the shell at the given path the way a swap tries it before it goes on;
// nothing when it ran, else what happened.
using ShellTrialRunner = std::function<std::optional<std::string>(const std::string& program)>;

struct InstallFailure {
  enum class Kind {
    // The copy did not run; everything made for the swap is gone again.
    didNotRun,
    // The temporary file could not even be created: nothing was changed.
    nothingMade,
    // A later file-system step failed.
    fileSystem,
  };
  Kind kind;
  std::string description;
};

// Puts a copy of the open staged shell at the executable's path and keeps the
// executable it replaces at previous. At every moment the executable's path
// holds a whole executable, old or new: the copy is made beside it under a
// temporary name, flushed to disk with mode 0755, tried there, and renamed over
// it in one step once the previous file has its second name, a hard link or,
// where the file system has none, a copy. The copy is tried where it will run,
// so that a staged file without execute permission, or on a file system that
// runs nothing, is judged by what the swap would install.
//
// Nothing when the swap is done; otherwise the failure, after the temporary
// copy is gone. After a file-system failure a previous file made for this swap
// may remain; the caller removes it once it knows the executable's path holds
// the previous shell again.
std::optional<InstallFailure> installStagedShell(int staged, const std::string& stagedPath,
                                                 const std::string& executable,
                                                 const std::string& previous,
                                                 SwapFileOperations& files,
                                                 const ShellTrialRunner& trial);

// How the temporary copies beside the executable begin, so that a copy left
// by a swap that never finished can be found and removed.
std::string temporaryCopyStem(const std::string& executable);

}  // namespace lumivant
