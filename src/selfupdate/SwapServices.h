#pragma once

#include <functional>
#include <string>

#include "selfupdate/ExecutableReplacement.h"
#include "selfupdate/ShellSwapLog.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/SwapFileOperations.h"

namespace lumivant {

// What self-update reaches besides the application: where its lines go, the
// file system it changes and how it tries a shell. Tests capture the first,
// make steps of the second fail, and stand in for the third where their
// shells are no programs.
struct SwapServices {
  std::function<void(const std::string& line)> log = logShellSwap;
  SwapFileOperations* files = &systemFileOperations();
  ShellTrialRunner tryShell = [](const std::string& program) { return shellTrialProblem(program); };
};

}  // namespace lumivant
