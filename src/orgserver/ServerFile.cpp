#include "orgserver/ServerFile.h"

namespace lumivant {

// Placeholder until the server-file reader lands: always local mode.
std::optional<Url> organisationServer(const std::string&) { return std::nullopt; }
std::optional<Url> parseServerFile(const std::string&) { return std::nullopt; }

}  // namespace lumivant
