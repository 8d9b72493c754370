#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// The version named by the contents of payload/current.json: the string member
// "version" of a top-level object, exactly as written. Nothing when the
// contents are not JSON (or nest too deep), not an object, or carry no string
// there that names exactly one directory under payload/.
std::optional<std::string> readPayloadVersion(std::string_view contents);

// Whether a version text can stand as one directory's name: not empty, not "."
// or "..", and free of "/", NUL and every other control character, so that
// the path formed with it stays under payload/ and is the path the file
// system opens.
bool namesOneDirectory(std::string_view version);

}  // namespace lumivant
