#pragma once

#include <functional>
#include <string>

#include "selfupdate/Bundle.h"

namespace lumivant {

// The running shell's side of self-update: it clears what an earlier swap
// left, puts a newer staged shell in its own place and relaunches, and
// declares itself in the data root.
class ShellUpdate {
 public:
  // Starts the bundle's executable anew; a failure is ignored.
  using Relauncher = std::function<void(const std::string& bundleDirectory)>;

  // Without a relauncher, the bundle is started as a detached process.
  ShellUpdate(Bundle bundle, std::string dataRoot, Relauncher relaunch = {});

  // Called once a swap has put the new shell in place and relaunched it: the
  // application is to end one second from now.
  std::function<void()> onSwapped;

  void cleanupOldShellFiles();
  // True when a newer staged shell took this one's place; onSwapped has then run.
  bool replaceMyselfIfANewerShellIsStaged();
  void declareMyself();

  const Bundle& bundle() const { return bundle_; }

 private:
  const Bundle bundle_;
  const std::string dataRoot_;
  const Relauncher relaunch_;
};

}  // namespace lumivant
