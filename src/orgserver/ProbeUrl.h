#pragma once

#include <string>

#include "base/Url.h"

namespace lumivant {

inline constexpr double kServerProbeTimeoutSeconds = 10.0;

// The base URL's path plus "health/ready", with exactly one slash between them.
std::string probeUrlFor(const Url& base);

}  // namespace lumivant
