#pragma once

#include <string>

#include "selfupdate/StagedSwap.h"

namespace lumivant {

// A swapped-in shell whose start nobody confirmed: the shell that swapped it
// in was ended while it waited to hear that the new one had started, so
// "<executable>.old" is still beside it and nothing would ever put it back.
// Such a shell is given one launch: the first launch that finds the previous
// shell beside it goes on, on trial, and marks the trial at
// "<executable>.unconfirmed"; the window coming up ends the trial
// (cleanupOldShellFiles removes both). A launch that still finds the mark
// knows the last one never got that far, puts the previous shell back and
// should start that one instead.
enum class UnconfirmedShell { none, onTrial, rolledBack };

// For a launch that no shell relaunched: relaunched shells are judged by the
// shell that relaunched them.
UnconfirmedShell checkUnconfirmedShell(const std::string& executable,
                                       const SwapServices& services = {});

// "<executable>.unconfirmed".
std::string trialMarkPath(const std::string& executable);

}  // namespace lumivant
