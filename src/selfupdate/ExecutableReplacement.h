#pragma once

#include <optional>
#include <string>

#include "selfupdate/SwapFileOperations.h"

namespace lumivant {

// Puts a copy of the open staged shell at the executable's path and keeps the
// executable it replaces at previous. At every moment the executable's path
// holds a whole executable, old or new: the copy is made beside it under a
// temporary name, flushed to disk with mode 0755, and renamed over it in one
// step once the previous file has its second name, a hard link or, where the
// file system has none, a copy.
//
// Nothing when the swap is done; otherwise the failure's description, after
// the temporary copy is gone. A previous file made for this swap may remain;
// the caller removes it once it knows the executable's path holds the
// previous shell again.
std::optional<std::string> installStagedShell(int staged, const std::string& stagedPath,
                                              const std::string& executable,
                                              const std::string& previous,
                                              SwapFileOperations& files);

// How the temporary copies beside the executable begin, so that a copy left
// by a swap that never finished can be found and removed.
std::string temporaryCopyStem(const std::string& executable);

}  // namespace lumivant
