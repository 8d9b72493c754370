#include "base/PathJoin.h"

namespace lumivant {

std::string joinPath(const std::string& directory, const std::string& relative) {
  if (directory.empty()) return relative;
  if (directory.back() == '/') return directory + relative;
  return directory + "/" + relative;
}

}  // namespace lumivant
