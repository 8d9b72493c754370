#pragma once

#include <string_view>

namespace lumivant {

// The platform this shell was built for: the word it declares itself with, and
// the directory of a payload's extras/shell that holds a shell built for it.
#if defined(__APPLE__)
inline constexpr std::string_view shellPlatform = "macos";
#elif defined(__linux__)
inline constexpr std::string_view shellPlatform = "linux";
#else
#error "Lumivant declares and swaps shells on macOS and Linux only"
#endif

}  // namespace lumivant
