#pragma once

#include <string>
#include <string_view>

namespace lumivant {

// Writes one self-update line to the system log (identity "Lumivant") and, as
// NSLog does, to standard error after a prefix with the local time, the process
// name and its ids: "2024-05-01 09:30:12.345 Lumivant[4242:4242] SHELL-SWAP ...".
// Each line reaches standard error in a single write. Never fails visibly.
// Control characters in the line (from a version text or a path) are written
// as escapes, so that no argument can end the line early or forge another.
void logShellSwap(const std::string& line);

// The line as it is logged: line feed, carriage return and tab as \n, \r and
// \t, every other C0 control and DEL as \xHH, everything else as it is.
std::string escapeControlCharacters(std::string_view line);

}  // namespace lumivant
