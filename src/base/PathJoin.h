#pragma once

#include <string>

namespace lumivant {

// Joins a relative path under a directory with exactly one separator between them.
std::string joinPath(const std::string& directory, const std::string& relative);

// One text per directory, so that two spellings of the same place ("~/x" once
// expanded, "/home/u/x/", a symbolic link to it) give the same text: absolute,
// symbolic links resolved, no trailing slash. Parts that do not exist yet are
// kept as written; a path that cannot be resolved at all is returned as it is.
std::string canonicalPathText(const std::string& path);

}  // namespace lumivant
