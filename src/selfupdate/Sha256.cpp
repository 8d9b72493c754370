#include "selfupdate/Sha256.h"

#include <nettle/sha2.h>

#include <cstdio>
#include <memory>

#include "base/FileReading.h"

namespace lumivant {

namespace {

// Each digest byte as two lower-case hex digits, in digest order, no separators.
std::string hashText(const unsigned char* digest, unsigned int length) {
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text.append(pair, 2);
  }
  return text;
}

}  // namespace

std::optional<FileDigest> digestOfFile(const std::string& path) {
  std::error_code error;
  UniqueFd fd = openRegularFileForReading(path, error);
  if (!fd) return {};
  return digestOfFile(fd.get());
}

std::optional<FileDigest> digestOfFile(int fd) {
  sha256_ctx context;
  sha256_init(&context);
  // The hash and the size come from the same single pass over the file.
  FileDigest result;
  const std::error_code error = readInBlocks(fd, [&](std::string_view block) {
    sha256_update(&context, block.size(), reinterpret_cast<const uint8_t*>(block.data()));
    result.size += block.size();
  });
  if (error) return {};
  unsigned char digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  result.sha256 = hashText(digest, sizeof digest);
  return result;
}

std::optional<std::string> sha256(const std::string& path) {
  if (auto digest = digestOfFile(path)) return std::move(digest->sha256);
  return {};
}

}  // namespace lumivant
