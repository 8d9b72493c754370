#include "app/AuthorTools.h"

#include <algorithm>
#include <string_view>

namespace lumivant {

bool developerToolsRequested(const std::vector<std::string>& arguments, const char* variableValue) {
  // Only 1: a variable left at 0 or empty in a shared profile turns nothing on.
  if (variableValue && std::string_view(variableValue) == "1") return true;
  return arguments.size() > 1 && std::find(arguments.begin() + 1, arguments.end(),
                                           kDeveloperToolsArgument) != arguments.end();
}

}  // namespace lumivant
