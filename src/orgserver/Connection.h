#pragma once

#include <string>

#include "base/Url.h"

namespace lumivant {

inline constexpr double kServerProbeTimeoutSeconds = 10.0;

// The base URL's path plus "health/ready", with exactly one slash between them.
std::string probeUrlFor(const Url& base);

// The message page's text when the server did not answer its probe. The
// server's URL in it shows no password.
std::string connectionFailureText(const Url& base, const std::string& reason,
                                  const std::string& dataRoot);

}  // namespace lumivant
