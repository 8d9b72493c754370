#include "app/WebsiteData.h"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "app/ShellState.h"
#include "base/FileReading.h"
#include "base/PathJoin.h"
#include "base/UniqueFd.h"

namespace lumivant {

namespace {

namespace fs = std::filesystem;

constexpr const char* kShellDirectory = "Lumivant";
// Beside the shared store, inside the shell's directory: one store per data root.
constexpr const char* kPerRootDirectory = "data-roots";
// The data root whose store the shared one became, as its identity's text.
constexpr const char* kSharedStoreOwnerFile = "shared-store-owner";
// The owner is a directory's canonical path, a few hundred bytes at most; a
// longer file names no data root.
constexpr size_t kSharedStoreOwnerLimit = size_t{64} * 1024;

// Whether the shared store holds anything a web view wrote there.
bool sharedStoreHasData(const fs::path& store) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(store, error)) {
    const std::string name = entry.path().filename().string();
    if (name != kPerRootDirectory && name != kSharedStoreOwnerFile) return true;
  }
  return false;
}

// The data root recorded as the shared store's owner. A record that cannot be
// read names nobody and is never replaced (the claim below only creates one):
// taking the store over again could hand one data root's cookies to another.
// The shell writes the record itself, so a link in its place is refused.
std::optional<std::string> sharedStoreOwner(const fs::path& ownerFile) {
  FileRead owner = readFileUpTo(ownerFile.string(), kSharedStoreOwnerLimit, Links::refuse);
  if (owner.state != FileState::ok) return std::nullopt;
  return std::move(owner.text);
}

// Records identity as the shared store's owner unless one is recorded already.
void claimSharedStore(const fs::path& ownerFile, const std::string& identity) {
  UniqueFd fd(::open(ownerFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd) return;  // another launch claimed it first, or it cannot be written
  const ssize_t written = ::write(fd.get(), identity.data(), identity.size());
  if (written != static_cast<ssize_t>(identity.size())) {
    // A claim cut short names no data root; it must not stay to mislead.
    ::unlink(ownerFile.c_str());
  }
}

}  // namespace

WebsiteDataStore websiteDataStoreFor(const std::string& dataRoot, const std::string& userData,
                                     const std::string& userCache) {
  const fs::path shared = fs::path(userData) / kShellDirectory;
  const fs::path sharedCache = fs::path(userCache) / kShellDirectory;
  const fs::path ownerFile = shared / kSharedStoreOwnerFile;
  const std::string identity = dataRootIdentity(dataRoot);

  if (!sharedStoreOwner(ownerFile) && sharedStoreHasData(shared)) {
    claimSharedStore(ownerFile, identity);
  }
  if (sharedStoreOwner(ownerFile) == identity) {
    return WebsiteDataStore{shared.string(), sharedCache.string()};
  }
  const std::string key = dataRootKey(dataRoot);
  return WebsiteDataStore{(shared / kPerRootDirectory / key).string(),
                          (sharedCache / kPerRootDirectory / key).string()};
}

WebsiteDataStore websiteDataStoreFor(const std::string& dataRoot) {
  return websiteDataStoreFor(dataRoot, g_get_user_data_dir(), g_get_user_cache_dir());
}

}  // namespace lumivant
