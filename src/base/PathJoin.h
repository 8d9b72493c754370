#pragma once

#include <string>

namespace lumivant {

// Joins a relative path under a directory with exactly one separator between them.
std::string joinPath(const std::string& directory, const std::string& relative);

}  // namespace lumivant
