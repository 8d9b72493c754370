#pragma once

#include <string>

namespace lumivant {

// The directory of the shell's own state about the user's runs (the window's
// frame, the backend's port): "Lumivant" under the user's XDG state directory.
// Unlike the data root, nothing else reads or writes it.
std::string shellStateDirectory();

// Self-update's ledger in that directory (SwapLedger.h).
std::string swapLedgerFile();

// The data root as one text per directory, so that two spellings of the same
// place ("~/x", "/home/u/x/", a symbolic link to it) mean the same data root.
// Parts that do not exist yet are kept as written.
std::string dataRootIdentity(const std::string& dataRoot);

// A short text of hexadecimal digits that tells data roots apart, the same for
// every spelling of one and at every launch: a name for what is kept per data root.
std::string dataRootKey(const std::string& dataRoot);

// The session-bus name under which the instance of one data root runs: another
// launch with the same data root finds it there, one with another data root
// does not. Stable across builds, so that a relaunched newer shell finds it.
std::string applicationIdForDataRoot(const std::string& dataRoot);

}  // namespace lumivant
