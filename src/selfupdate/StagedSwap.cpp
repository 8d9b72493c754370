#include "selfupdate/StagedSwap.h"

#include <filesystem>

#include "base/JsonDocument.h"
#include "base/PathJoin.h"
#include "selfupdate/ElfExecutable.h"
#include "selfupdate/ExecutableReplacement.h"
#include "selfupdate/PayloadPointer.h"
#include "selfupdate/Platform.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/ShellProbation.h"
#include "selfupdate/StagedShellFile.h"
#include "selfupdate/SwapLedger.h"
#include "selfupdate/Version.h"

namespace lumivant {

namespace {

bool holds(const std::string& path, const std::string& sha256) {
  const std::optional<FileDigest> digest = digestOfFile(path);
  return digest && digest->sha256 == sha256;
}

// The failure line says "rolled back" only when the executable's path holds
// the previous shell again; then the previous file has no more use. Otherwise
// it says what lies where, and the previous file is left for whoever repairs
// the installation.
bool reportFailedInstall(const std::string& failure, const std::string& executable,
                         const std::string& previous, const std::string& ownSha256,
                         const SwapServices& services) {
  if (holds(executable, ownSha256)) {
    (void)services.files->remove(previous);
    services.log("SHELL-SWAP failed, rolled back: " + failure);
    return false;
  }
  const std::string left = holds(previous, ownSha256)
                               ? "the previous shell is kept at " + previous
                               : "no whole copy of the previous shell is left";
  services.log("SHELL-SWAP failed: " + failure + "; " + executable +
               " no longer holds the previous shell, " + left);
  return false;
}

}  // namespace

std::string previousShellPath(const std::string& executable) { return executable + ".old"; }

std::string stagedShellPath(const std::string& payloadVersion) {
  return "payload/" + payloadVersion + "/extras/shell/" + std::string(shellPlatform) + "/Lumivant";
}

bool replaceMyselfIfANewerShellIsStaged(const SwapSite& site, const SwapActions& actions,
                                        const SwapServices& services) {
  SwapFileOperations& files = *services.files;
  // Refusals come before anything is changed, so none of them says "rolled back".
  const auto refuse = [&](const std::string& description) {
    services.log("SHELL-SWAP failed: " + description);
    return false;
  };

  const std::optional<std::string> pointer =
      readJsonFileText(joinPath(site.dataRoot, "payload/current.json"));
  if (!pointer) return false;
  const std::optional<std::string> payloadVersion = readPayloadVersion(*pointer);
  if (!payloadVersion) return false;

  if (site.ownVersion.empty() || !isNewerVersion(*payloadVersion, site.ownVersion)) {
    services.log("SHELL-SWAP skip: payload " + *payloadVersion + " 不比我（" + site.ownVersion +
                 "）新");
    return false;
  }

  const std::string staged = joinPath(site.dataRoot, stagedShellPath(*payloadVersion));
  const StagedShellOpening opening = openStagedShell(staged);
  if (opening.problem) return refuse("refusing " + staged + ": " + *opening.problem);
  if (!opening.fd) return false;
  if (site.executable.empty()) return false;
  // Judged by its size before a single byte is read: hashing and copying a
  // file of gigabytes would hold the launch, and fill the disk, for nothing.
  if (opening.size > kLargestStagedShell)
    return refuse("refusing " + staged + ": it is " + std::to_string(opening.size) +
                  " bytes long, more than the " + std::to_string(kLargestStagedShell >> 20) +
                  " MiB a shell may have");

  // The staged file is hashed first; either hash missing means there is
  // nothing that could be compared, let alone swapped.
  const std::optional<FileDigest> stagedDigest = digestOfFile(opening.fd.get());
  if (!stagedDigest) return false;
  const std::optional<FileDigest> ownDigest = digestOfFile(site.executable);
  if (!ownDigest) return false;
  if (stagedDigest->sha256 == ownDigest->sha256) {
    services.log("SHELL-SWAP skip: 载荷里的壳就是我");
    return false;
  }

  // From here to the recorded probation no other shell of this executable
  // decides anything about its files.
  const SwapLedger ledger(site.ledger);
  std::optional<SwapLedger::Held> held = ledger.hold(kLedgerWait);
  if (!held) {
    services.log("SHELL-SWAP skip: 另一个壳正忙着换壳，payload " + *payloadVersion + " 这次不换入");
    return false;
  }
  ShellSwapRecord& record = held->record(site.executable);
  if (record.hasFailed(stagedDigest->sha256)) {
    services.log("SHELL-SWAP skip: payload " + *payloadVersion + " 曾经失败，不再换入");
    return false;
  }
  if (record.probation) {
    services.log("SHELL-SWAP skip: 换上的壳（payload " + payloadName(record.probation->version) +
                 "）还在试用，payload " + *payloadVersion + " 暂不换入");
    return false;
  }

  // A shell that cannot start here (cut short by an updater that died while
  // writing it, built for another machine, no executable at all) would cost
  // the user the application at the relaunch.
  const std::optional<ElfIdentity> identity = runningElfIdentity();
  if (!identity) return refuse("the running shell's own ELF header cannot be read");
  if (auto problem = elfExecutableProblem(opening.fd.get(), stagedDigest->size, *identity))
    return refuse("refusing " + staged + ": " + *problem);

  // A previous file left by an interrupted swap would stand in the way of
  // keeping the current one.
  const std::string previous = previousShellPath(site.executable);
  (void)files.remove(previous);
  if (auto failure = installStagedShell(opening.fd.get(), staged, site.executable, previous, files,
                                        services.tryShell)) {
    if (failure->kind == InstallFailure::Kind::didNotRun) {
      // Tried once: the same bytes would fail the same way at every launch.
      record.addFailed(FailedShell{*payloadVersion, stagedDigest->sha256,
                                   "the staged shell did not run: " + failure->description});
      (void)held->write();
      return refuse("the staged shell did not run: " + failure->description);
    }
    if (failure->kind == InstallFailure::Kind::nothingMade) return refuse(failure->description);
    return reportFailedInstall(failure->description, site.executable, previous, ownDigest->sha256,
                               services);
  }

  // Recorded before the new shell starts, which finds itself on probation.
  // Should this write fail, the next launch finds a previous shell that no
  // probation accounts for, and puts the shell in place on probation itself.
  record.probation = Probation{*payloadVersion,
                               stagedDigest->sha256,
                               identityOfFile(site.executable).value_or(FileIdentity{}),
                               0,
                               {}};
  (void)held->write();
  held.reset();

  services.log("SHELL-SWAP done: " + site.ownVersion + " → " + *payloadVersion + "，拉起新的自己");
  actions.relaunch(site.bundleDirectory, stagedDigest->sha256);
  return true;
}

void cleanupOldShellFiles(const std::string& executable, const std::string& ledger,
                          SwapFileOperations& files) {
  if (executable.empty()) return;
  const std::filesystem::path directory = std::filesystem::path(executable).parent_path();
  const std::string stem = temporaryCopyStem(executable);
  const auto leftCopies = [&] {
    std::vector<std::string> copies;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
      if (it->path().filename().string().starts_with(stem)) copies.push_back(it->path().string());
    }
    return copies;
  };
  // Looked for without the lock, which nearly every launch then need not take.
  if (leftCopies().empty()) return;
  const std::optional<SwapLedger::Held> held = SwapLedger(ledger).hold(kLedgerWait);
  if (!held) return;
  for (const std::string& copy : leftCopies()) (void)files.remove(copy);
}

}  // namespace lumivant
