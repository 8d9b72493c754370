#pragma once

#include <functional>
#include <string>

#include "selfupdate/ShellSwapLog.h"
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
  // Starts the new shell; a failure is ignored.
  std::function<void(const std::string& bundleDirectory)> relaunch;
  // Schedules the application's termination 1.0 s from now on the main queue.
  std::function<void()> scheduleTermination;
};

// Puts a newer staged shell in place of the running executable, keeping the
// previous one at "<executable>.old". True when the swap is done, the relaunch
// requested and termination scheduled; false otherwise (nothing swapped, or
// a failed swap rolled back).
bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions);

// What a swap reaches besides the application: where its lines go and the file
// system it changes. Tests capture the one and make steps of the other fail.
struct SwapServices {
  std::function<void(const std::string& line)> log = logShellSwap;
  SwapFileOperations* files = &systemFileOperations();
};
bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions,
                                        const SwapServices& services);

// Where a payload of the given version keeps a shell built for this platform,
// relative to the data root.
std::string stagedShellPath(const std::string& payloadVersion);

// Removes "<executable>.old" if an earlier swap left one.
void cleanupOldShellFiles(const std::string& executable);
void cleanupOldShellFiles(const std::string& executable, SwapFileOperations& files);

// What a relaunched shell is given, so that it takes over the running
// instance's place (which is on its way out) rather than handing itself over
// to it. GLib's own name for this request.
inline constexpr const char* kReplaceInstanceArgument = "--gapplication-replace";

// Starts <bundle>/Lumivant as a new, detached process in its own session, told
// to replace this instance.
void relaunchBundle(const std::string& bundleDirectory);

}  // namespace lumivant
