#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "selfupdate/ExecutableReplacement.h"
#include "selfupdate/ShellSwapLog.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/SwapFileOperations.h"

namespace lumivant {

// Where the running shell lies, taken once at start.
struct SwapSite {
  std::string executable;       // empty when the bundle reports none
  std::string bundleDirectory;  // what a relaunch starts
  std::string ownVersion;       // CFBundleShortVersionString, possibly empty
  std::string dataRoot;
};

// What a finished swap asks of the application.
struct SwapActions {
  // Starts the new shell and, without blocking, waits until it says that it
  // has started: then the application quits; otherwise it calls rollBackSwap
  // and goes on.
  std::function<void(const std::string& bundleDirectory)> relaunch;
};

// The largest staged shell a swap considers; anything larger is refused
// before it is read.
inline constexpr uint64_t kLargestStagedShell = 512ull * 1024 * 1024;

// Puts a newer staged shell in place of the running executable, keeping the
// previous one at "<executable>.old", once a copy of it ran here. True when
// the swap is done and the relaunch requested; false otherwise (nothing
// swapped, a refused shell, or a failed swap rolled back).
bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions);

// What a swap reaches besides the application: where its lines go, the file
// system it changes and how it tries a shell. Tests capture the first, make
// steps of the second fail, and stand in for the third where their shells are
// no programs.
struct SwapServices {
  std::function<void(const std::string& line)> log = logShellSwap;
  SwapFileOperations* files = &systemFileOperations();
  ShellTrialRunner tryShell = [](const std::string& program) { return shellTrialProblem(program); };
};
bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions,
                                        const SwapServices& services);

// Where a payload of the given version keeps a shell built for this platform,
// relative to the data root.
std::string stagedShellPath(const std::string& payloadVersion);

// After a swap whose new shell did not start: puts the previous shell back at
// the executable's path from "<executable>.old", in one rename, and logs what
// the new shell did.
void rollBackSwap(const std::string& executable, const std::string& whatHappened,
                  const SwapServices& services = {});

// Whether a removal of "<executable>.old" is due: not while a relaunched shell
// has yet to hear that the shell it replaced has gone, because until then that
// shell may still put the previous shell back.
enum class PreviousShell { remove, keep };

// Removes "<executable>.old" if an earlier swap left one (and with it the
// mark of a trial launch, see UnconfirmedShell.h), and copies that swaps left
// half-made.
void cleanupOldShellFiles(const std::string& executable,
                          PreviousShell previous = PreviousShell::remove);
void cleanupOldShellFiles(const std::string& executable, SwapFileOperations& files,
                          PreviousShell previous = PreviousShell::remove);

// What a relaunched shell is given, so that it takes over the running
// instance's place rather than handing itself over to it; the running one
// goes once the new one says it started. GLib's own name for this request.
inline constexpr const char* kReplaceInstanceArgument = "--gapplication-replace";

// "<executable>.old".
std::string previousShellPath(const std::string& executable);

}  // namespace lumivant
