#include "backend/BackendSecret.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace lumivant {

std::string makeBackendSecret() {
  std::array<uint8_t, 32> bytes{};
  size_t filled = 0;
  while (filled < bytes.size()) {
    // Blocks only until the kernel's pool was first seeded, early in boot.
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<size_t>(got);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string secret;
  secret.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    secret += kDigits[byte >> 4];
    secret += kDigits[byte & 0xf];
  }
  return secret;
}

std::string backendSecretCookieHeader(const std::string& secret) {
  return std::string(kBackendSecretCookie) + "=" + secret;
}

}  // namespace lumivant
