#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// The version named by the contents of payload/current.json: the string member
// "version" of a top-level object, exactly as written. Nothing when the
// contents are not JSON, not an object, or carry no non-empty string there.
std::optional<std::string> readPayloadVersion(std::string_view contents);

}  // namespace lumivant
