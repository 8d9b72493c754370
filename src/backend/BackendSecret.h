#pragma once

#include <string>

namespace lumivant {

// The secret the local backend answers to. Every user of the machine can reach
// 127.0.0.1, so a backend serves only requests that present it: the shell
// makes one per run, gives it to each backend it starts in the environment and
// has the web view present it as a cookie with every request to the backend,
// WebSocket handshakes included. It never appears in a URL, a command line or
// a log.
inline constexpr const char* kBackendSecretVariable = "LUMIVANT_BACKEND_SECRET";
inline constexpr const char* kBackendSecretCookie = "lumivant-backend-secret";

// 256 bits from the kernel's random source, as 64 lower-case hexadecimal
// digits. Throws std::system_error when the kernel gives none.
std::string makeBackendSecret();

// The Cookie header's value that presents the secret: "<cookie>=<secret>".
std::string backendSecretCookieHeader(const std::string& secret);

}  // namespace lumivant
