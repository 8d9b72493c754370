#include "base/PathJoin.h"

#include <filesystem>

namespace lumivant {

std::string joinPath(const std::string& directory, const std::string& relative) {
  if (directory.empty()) return relative;
  if (directory.back() == '/') return directory + relative;
  return directory + "/" + relative;
}

std::string canonicalPathText(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  if (error) return path;
  std::string text = resolved.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace lumivant
