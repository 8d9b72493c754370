#pragma once

#include <filesystem>
#include <string>

namespace lumivant {

// Whether a path is gone for certain: only a status of "not found" says so.
// A status that could not be read (no permission, an I/O error, a stale
// network file handle, a loop of links) says nothing about the path, and
// whatever is kept about it stays.
inline bool pathIsGone(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() ==
         std::filesystem::file_type::not_found;
}

}  // namespace lumivant
