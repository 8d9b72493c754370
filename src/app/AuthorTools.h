#pragma once

#include <string>
#include <vector>

namespace lumivant {

// The app's author turns the engine's developer tools on with this option or
// with this variable set to 1; users never see them.
inline constexpr const char* kDeveloperToolsArgument = "--developer-tools";
inline constexpr const char* kDeveloperToolsVariable = "LUMIVANT_DEVELOPER_TOOLS";

// Whether the launch asks for the developer tools, given the process's
// arguments (the program's name first) and the variable's value (null when
// it is not set).
bool developerToolsRequested(const std::vector<std::string>& arguments, const char* variableValue);

}  // namespace lumivant
