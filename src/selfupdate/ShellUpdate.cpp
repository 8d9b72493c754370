#include "selfupdate/ShellUpdate.h"

#include "selfupdate/Declaration.h"
#include "selfupdate/StagedSwap.h"

namespace lumivant {

ShellUpdate::ShellUpdate(Bundle bundle, std::string dataRoot, Relauncher relaunch)
    : bundle_(std::move(bundle)),
      dataRoot_(std::move(dataRoot)),
      relaunch_(relaunch ? std::move(relaunch) : Relauncher(relaunchBundle)) {}

void ShellUpdate::cleanupOldShellFiles() {
  if (bundle_.executable) lumivant::cleanupOldShellFiles(*bundle_.executable);
}

bool ShellUpdate::replaceMyselfIfANewerShellIsStaged() {
  const SwapSite site{bundle_.executable.value_or(""), bundle_.directory, bundle_.shortVersion(),
                      dataRoot_};
  const SwapActions actions{relaunch_, [this] {
                              if (onSwapped) onSwapped();
                            }};
  return lumivant::replaceMyselfIfANewerShellIsStaged(site, actions);
}

void ShellUpdate::declareMyself() {
  if (bundle_.executable) lumivant::declareMyself(*bundle_.executable, dataRoot_);
}

}  // namespace lumivant
