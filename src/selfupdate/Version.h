#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace lumivant {

// The integer components of a version text's core (before "-" and "+"),
// at least three of them. Malformed pieces count as 0.
std::vector<int64_t> parseVersion(std::string_view text);

// True when candidate is strictly newer than current.
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace lumivant
