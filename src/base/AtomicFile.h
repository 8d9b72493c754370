#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace lumivant {

// Replaces the file at path with bytes so that a reader sees either the old
// file or the whole new one: a temporary file in the same directory, flushed
// to disk, then renamed over path. On failure the temporary file is removed
// and the old file stays as it was. The new file has mode 0644.
std::error_code writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace lumivant
