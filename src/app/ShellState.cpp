#include "app/ShellState.h"

#include <glib.h>
#include <openssl/evp.h>

#include <array>

#include "base/PathJoin.h"

namespace lumivant {

std::string shellStateDirectory() {
  // The same directory the window's frame is kept in: GLib's reading of
  // XDG_STATE_HOME, falling back to ~/.local/state.
  return joinPath(g_get_user_state_dir(), "Lumivant");
}

std::string dataRootIdentity(const std::string& dataRoot) { return canonicalPathText(dataRoot); }

std::string dataRootKey(const std::string& dataRoot) {
  const std::string identity = dataRootIdentity(dataRoot);
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_Digest(identity.data(), identity.size(), digest.data(), &length, EVP_sha256(), nullptr);
  // Half of the hash keeps it short and still tells data roots apart.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string key;
  for (unsigned int i = 0; i < length / 2; ++i) {
    key += kHex[digest[i] >> 4];
    key += kHex[digest[i] & 0xf];
  }
  return key;
}

std::string applicationIdForDataRoot(const std::string& dataRoot) {
  // Bus names allow letters, digits and underscores in each element.
  return "org.lumivant.Shell.Root_" + dataRootKey(dataRoot);
}

}  // namespace lumivant
