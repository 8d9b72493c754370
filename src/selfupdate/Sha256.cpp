#include "selfupdate/Sha256.h"

#include <glib.h>

#include "base/FileReading.h"

namespace lumivant {

std::optional<FileDigest> digestOfFile(const std::string& path) {
  std::error_code error;
  UniqueFd fd = openRegularFileForReading(path, error);
  if (!fd) return {};
  return digestOfFile(fd.get());
}

std::optional<FileDigest> digestOfFile(int fd) {
  g_autoptr(GChecksum) checksum = g_checksum_new(G_CHECKSUM_SHA256);
  // The hash and the size come from the same single pass over the file.
  FileDigest result;
  const std::error_code error = readInBlocks(fd, [&](std::string_view block) {
    g_checksum_update(checksum, reinterpret_cast<const guchar*>(block.data()),
                      static_cast<gssize>(block.size()));
    result.size += block.size();
  });
  if (error) return {};
  // Lower-case hex digits, in digest order, no separators.
  result.sha256 = g_checksum_get_string(checksum);
  return result;
}

std::optional<std::string> sha256(const std::string& path) {
  if (auto digest = digestOfFile(path)) return std::move(digest->sha256);
  return {};
}

}  // namespace lumivant
