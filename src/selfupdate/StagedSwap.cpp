#include "selfupdate/StagedSwap.h"

#include <filesystem>

#include "app/DataRoot.h"
#include "base/FileReading.h"
#include "selfupdate/ExecutableReplacement.h"
#include "selfupdate/PayloadPointer.h"
#include "selfupdate/Platform.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/Version.h"

namespace lumivant {

namespace {

std::string previousShellPath(const std::string& executable) { return executable + ".old"; }

}  // namespace

std::string stagedShellPath(const std::string& payloadVersion) {
  return "payload/" + payloadVersion + "/extras/shell/" + std::string(shellPlatform) + "/Lumivant";
}

bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions) {
  return replaceMyselfIfANewerShellIsStaged(site, actions, SwapServices{});
}

bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions,
                                        const SwapServices& services) {
  SwapFileOperations& files = *services.files;

  const std::optional<std::string> pointer =
      readWholeFile(joinPath(site.dataRoot, "payload/current.json"));
  if (!pointer) return false;
  const std::optional<std::string> payloadVersion = readPayloadVersion(*pointer);
  if (!payloadVersion) return false;

  if (site.ownVersion.empty() || !isNewerVersion(*payloadVersion, site.ownVersion)) {
    services.log("SHELL-SWAP skip: payload " + *payloadVersion + " 不比我（" + site.ownVersion +
                 "）新");
    return false;
  }

  const std::string staged = joinPath(site.dataRoot, stagedShellPath(*payloadVersion));
  if (!files.exists(staged)) return false;
  if (site.executable.empty()) return false;

  // The staged file is hashed first; either hash missing means there is
  // nothing that could be compared, let alone swapped.
  const std::optional<std::string> stagedHash = sha256(staged);
  if (!stagedHash) return false;
  const std::optional<std::string> ownHash = sha256(site.executable);
  if (!ownHash) return false;
  if (*stagedHash == *ownHash) {
    services.log("SHELL-SWAP skip: 载荷里的壳就是我");
    return false;
  }

  // A previous file left by an interrupted swap would stand in the way of
  // keeping the current one.
  const std::string previous = previousShellPath(site.executable);
  (void)files.remove(previous);
  if (auto failure = installStagedShell(staged, site.executable, previous, files)) {
    services.log("SHELL-SWAP failed, rolled back: " + *failure);
    return false;
  }

  services.log("SHELL-SWAP done: " + site.ownVersion + " → " + *payloadVersion + "，拉起新的自己");
  actions.relaunch(site.bundleDirectory);
  actions.scheduleTermination();
  return true;
}

void cleanupOldShellFiles(const std::string& executable) {
  cleanupOldShellFiles(executable, systemFileOperations());
}

void cleanupOldShellFiles(const std::string& executable, SwapFileOperations& files) {
  if (executable.empty()) return;
  (void)files.remove(previousShellPath(executable));

  const std::filesystem::path directory = std::filesystem::path(executable).parent_path();
  const std::string stem = temporaryCopyStem(executable);
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with(stem)) (void)files.remove(it->path().string());
  }
}

}  // namespace lumivant
