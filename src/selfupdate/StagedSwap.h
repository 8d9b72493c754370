#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "selfupdate/SwapServices.h"

namespace lumivant {

// Where the running shell lies, taken once at start.
struct SwapSite {
  std::string executable;       // empty when the bundle reports none
  std::string bundleDirectory;  // what a relaunch starts
  std::string ownVersion;       // CFBundleShortVersionString, possibly empty
  std::string dataRoot;
  std::string ledger;  // the self-update ledger's file (SwapLedger.h)
};

// What a finished swap asks of the application.
struct SwapActions {
  // Starts the new shell, whose bytes have the given hash, and, without
  // blocking, waits until it says that it has started: then the application
  // quits; otherwise the previous shell goes back (ShellProbation) and the
  // application goes on.
  std::function<void(const std::string& bundleDirectory, const std::string& sha256)> relaunch;
};

// The largest staged shell a swap considers; anything larger is refused
// before it is read.
inline constexpr uint64_t kLargestStagedShell = 512ull * 1024 * 1024;

// Puts a newer staged shell in place of the running executable, keeping the
// previous one at "<executable>.old", once a copy of it ran here, and records
// the new one's probation in the ledger. A staged shell whose bytes failed
// here before is not swapped in again, and none is while the executable's
// shell is on probation. True when the swap is done and the relaunch
// requested; false otherwise (nothing swapped, a refused shell, or a failed
// swap rolled back).
bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions,
                                        const SwapServices& services = {});

// Where a payload of the given version keeps a shell built for this platform,
// relative to the data root.
std::string stagedShellPath(const std::string& payloadVersion);

// Removes the copies that swaps cut short left beside the executable, under
// the ledger's lock, so that no copy a swap is making at the time goes. The
// previous shell stays until the shell on probation has proved itself
// (ShellProbation).
void cleanupOldShellFiles(const std::string& executable, const std::string& ledger,
                          SwapFileOperations& files = systemFileOperations());

// What a relaunched shell is given, so that it takes over the running
// instance's place rather than handing itself over to it; the running one
// goes once the new one says it started. GLib's own name for this request.
inline constexpr const char* kReplaceInstanceArgument = "--gapplication-replace";

// "<executable>.old".
std::string previousShellPath(const std::string& executable);

}  // namespace lumivant
