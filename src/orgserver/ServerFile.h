#pragma once

#include <optional>
#include <string>

#include "base/Url.h"

namespace lumivant {

// The organisation server named by "server.json" in the data root, or nothing
// for local mode. Read afresh at every call; every refusal is silent.
std::optional<Url> organisationServer(const std::string& dataRoot);

// The same rule applied to the file's bytes.
std::optional<Url> parseServerFile(const std::string& contents);

}  // namespace lumivant
