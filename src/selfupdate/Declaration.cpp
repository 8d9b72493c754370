#include "selfupdate/Declaration.h"

#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/AtomicFile.h"
#include "base/PathJoin.h"
#include "selfupdate/Platform.h"
#include "selfupdate/Sha256.h"

namespace lumivant {

namespace {

// The current moment as an internet date-time in UTC with whole seconds.
std::string nowInUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (!gmtime_r(&now, &utc)) return {};
  char text[sizeof "YYYY-MM-DDTHH:MM:SSZ" + 8];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(text, length);
}

}  // namespace

void declareMyself(const std::string& executable, const std::string& dataRoot) {
  const std::optional<FileDigest> digest = digestOfFile(executable);
  if (!digest) return;

  // nlohmann's objects keep their members sorted by name, so the file lists
  // declared_at, path, platform, self_replace, sha256, size in that order.
  const nlohmann::json declaration = {
      {"declared_at", nowInUtc()}, {"path", executable},       {"platform", shellPlatform},
      {"self_replace", true},      {"sha256", digest->sha256}, {"size", digest->size},
  };
  std::string bytes;
  try {
    bytes = declaration.dump(2) + "\n";
  } catch (const nlohmann::json::exception&) {
    return;  // a path that is not UTF-8 cannot be written as JSON text
  }

  // A failure to create the data root shows again in the write, and both go
  // unreported: the declaration is housekeeping and never holds up a launch.
  std::error_code ignored;
  std::filesystem::create_directories(dataRoot, ignored);
  (void)writeFileAtomically(joinPath(dataRoot, "shell.json"), bytes);
}

}  // namespace lumivant
