#pragma once

#include <string>

namespace lumivant {

// Writes one self-update line to the system log (identity "Lumivant") and, as
// NSLog does, to standard error after a prefix with the local time, the process
// name and its ids: "2024-05-01 09:30:12.345 Lumivant[4242:4242] SHELL-SWAP ...".
// Each line reaches standard error in a single write. Never fails visibly.
void logShellSwap(const std::string& line);

}  // namespace lumivant
