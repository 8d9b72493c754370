#include "app/AuthorTools.h"

#include <string_view>

#include "app/CommandLine.h"

namespace lumivant {

bool developerToolsRequested(const std::vector<std::string>& arguments, const char* variableValue) {
  // Only 1: a variable left at 0 or empty in a shared profile turns nothing on.
  if (variableValue && std::string_view(variableValue) == "1") return true;
  return readCommandLine(arguments).developerTools;
}

}  // namespace lumivant
