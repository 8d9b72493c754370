// Placeholders until the self-update subsystem lands.
#include "selfupdate/Declaration.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/Version.h"

namespace lumivant {

std::vector<int64_t> parseVersion(std::string_view) { return {0, 0, 0}; }
bool isNewerVersion(std::string_view, std::string_view) { return false; }
std::optional<FileDigest> digestOfFile(const std::string&) { return std::nullopt; }
std::optional<std::string> sha256(const std::string&) { return std::nullopt; }
void declareMyself(const std::string&, const std::string&) {}
bool replaceMyselfIfANewerShellIsStaged(const SwapSite&, const SwapActions&) { return false; }
void cleanupOldShellFiles(const std::string&) {}
void relaunchBundle(const std::string&) {}

}  // namespace lumivant
