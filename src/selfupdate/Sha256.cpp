#include "selfupdate/Sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "base/FileReading.h"

namespace lumivant {

namespace {

struct DigestContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

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
  std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  // The hash and the size come from the same single pass over the file.
  FileDigest result;
  bool hashed = true;
  const std::error_code error = readInBlocks(fd, [&](std::string_view block) {
    hashed = hashed && EVP_DigestUpdate(context.get(), block.data(), block.size()) == 1;
    result.size += block.size();
  });
  if (error || !hashed) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
  result.sha256 = hashText(digest, length);
  return result;
}

std::optional<std::string> sha256(const std::string& path) {
  if (auto digest = digestOfFile(path)) return std::move(digest->sha256);
  return {};
}

}  // namespace lumivant
