#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "base/StateFile.h"

namespace lumivant {

// The shell's own small JSON files (the server file, the payload pointer) are
// a few hundred bytes. Anything far beyond that, in size or in depth, is a
// damaged or hostile file, and reading it whole would cost the memory and time
// of the launch it is meant to steer.
inline constexpr size_t kJsonFileLimitBytes = size_t{1} << 20;
inline constexpr int kJsonNestingLimit = 64;

// The file's text when it is a regular file of at most kJsonFileLimitBytes;
// nothing otherwise.
std::optional<std::string> readJsonFileText(const std::string& path);

// The parsed document, or a discarded value when the text is not JSON or nests
// arrays and objects more than kJsonNestingLimit deep.
nlohmann::json parseJsonDocument(std::string_view text);

// The key under which the shell's state files keep something per data root:
// the root's canonical path as UTF-8 text. JSON keys are UTF-8 and a path is
// any bytes, so a path that is not UTF-8 has U+FFFD in place of what is not,
// the same at every launch.
std::string dataRootJsonKey(const std::string& dataRoot);

// The entries of a JSON object, read to keep as many as can be kept: those
// whose value nests arrays and objects more than kJsonNestingLimit deep are left
// out, the others kept. Text that is not a JSON object gives no entries; the
// empty text gives none and leaves nothing out.
struct JsonEntries {
  nlohmann::json object = nlohmann::json::object();
  bool leftSomethingOut = false;
};
JsonEntries parseJsonEntries(std::string_view text);

// A state file that keeps one JSON value per key in one object, such as a port
// or a zoom level per data root, shared by the shells of every data root. A
// missing, damaged or oversized file reads as the empty object. A write keeps
// every other key's value as it was, including those another shell wrote at
// the same time; an entry that cannot be read is left out and the file as it
// was set aside, and a file the system would not give is not written at all.
class JsonObjectFile {
 public:
  explicit JsonObjectFile(std::string path) : file_(std::move(path), kJsonFileLimitBytes) {}

  // The value under key, or a null value when there is none.
  nlohmann::json value(const std::string& key) const;
  // Keeps value under key; whether it was written.
  bool setValue(const std::string& key, nlohmann::json value) const;

 private:
  StateFile file_;
};

}  // namespace lumivant
