#pragma once

#include <string>
#include <vector>

namespace lumivant::gtk {

// The desktop's languages as the spelling checker names its dictionaries
// ("en_US", "de"), most preferred first, from the locale names GLib lists
// (g_get_language_names: "de_DE.UTF-8", "de_DE", "de.UTF-8", "de", "C"). The
// checker skips a language it has no dictionary for.
inline std::vector<std::string> spellCheckingLanguages(
    const std::vector<std::string>& localeNames) {
  std::vector<std::string> languages;
  for (const std::string& name : localeNames) {
    // A codeset or modifier makes a variant of a name listed beside it.
    if (name.empty() || name == "C" || name == "POSIX" ||
        name.find_first_of(".@") != std::string::npos) {
      continue;
    }
    bool listed = false;
    for (const std::string& language : languages) listed = listed || language == name;
    if (!listed) languages.push_back(name);
  }
  return languages;
}

}  // namespace lumivant::gtk
