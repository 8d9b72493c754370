#include "app/ShellState.h"

#include <glib.h>

#include "base/PathJoin.h"

namespace lumivant {

std::string shellStateDirectory() {
  // The same directory the window's frame is kept in: GLib's reading of
  // XDG_STATE_HOME, falling back to ~/.local/state.
  return joinPath(g_get_user_state_dir(), "Lumivant");
}

std::string swapLedgerFile() { return joinPath(shellStateDirectory(), "shell-swaps.json"); }

std::string dataRootIdentity(const std::string& dataRoot) { return canonicalPathText(dataRoot); }

std::string dataRootKey(const std::string& dataRoot) {
  const std::string identity = dataRootIdentity(dataRoot);
  g_autofree gchar* hex = g_compute_checksum_for_data(
      G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(identity.data()), identity.size());
  // Half of the hash keeps it short and still tells data roots apart.
  return std::string(hex, 32);
}

std::string applicationIdForDataRoot(const std::string& dataRoot) {
  // Bus names allow letters, digits and underscores in each element.
  return "org.lumivant.Shell.Root_" + dataRootKey(dataRoot);
}

}  // namespace lumivant
