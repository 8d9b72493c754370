#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// The diagnostic line for a finished load: the prefix, the page's title (or
// "(no title)" when the title could not be read) and a line feed.
std::string loadLogLine(const std::optional<std::string>& title);

// Writes the text to standard error in a single write, so that lines from
// several writers never interleave. A failed write is dropped.
void writeToStandardError(std::string_view text);

}  // namespace lumivant
