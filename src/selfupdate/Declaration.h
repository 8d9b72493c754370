#pragma once

#include <string>

namespace lumivant {

// Writes shell.json into the data root: where the running executable lies, its
// SHA-256 and size, the platform word and self_replace. Every failure is silent.
void declareMyself(const std::string& executable, const std::string& dataRoot);

}  // namespace lumivant
