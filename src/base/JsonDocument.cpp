#include "base/JsonDocument.h"

#include <unicode/unistr.h>

#include <filesystem>

#include "base/AtomicFile.h"
#include "base/FileReading.h"
#include "base/PathJoin.h"

namespace lumivant {

std::optional<std::string> readJsonFileText(const std::string& path) {
  return readWholeFile(path, kJsonFileLimitBytes);
}

nlohmann::json parseJsonDocument(std::string_view text) {
  using Event = nlohmann::json::parse_event_t;
  // The callback sees each container open at the depth of its parent, so the
  // outermost one opens at depth 0. Once one is too deep, nothing more is
  // kept, so a deep document never grows a deep tree.
  bool tooDeep = false;
  const auto limitDepth = [&tooDeep](int depth, Event event, nlohmann::json&) {
    if ((event == Event::object_start || event == Event::array_start) &&
        depth >= kJsonNestingLimit) {
      tooDeep = true;
    }
    return !tooDeep;
  };
  nlohmann::json document = nlohmann::json::parse(text, limitDepth, /*allow_exceptions=*/false);
  if (tooDeep) return nlohmann::json(nlohmann::json::value_t::discarded);
  return document;
}

std::string dataRootJsonKey(const std::string& dataRoot) {
  std::string text;
  icu::UnicodeString::fromUTF8(canonicalPathText(dataRoot)).toUTF8String(text);
  return text;
}

nlohmann::json JsonObjectFile::readObject() const {
  const auto text = readJsonFileText(path_);
  if (!text) return nlohmann::json::object();
  nlohmann::json object = parseJsonDocument(*text);
  return object.is_object() ? object : nlohmann::json::object();
}

nlohmann::json JsonObjectFile::value(const std::string& key) const {
  const nlohmann::json object = readObject();
  const auto entry = object.find(key);
  return entry == object.end() ? nlohmann::json() : *entry;
}

void JsonObjectFile::setValue(const std::string& key, nlohmann::json value) const {
  nlohmann::json object = readObject();
  object[key] = std::move(value);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
  (void)writeFileAtomically(path_, object.dump(2) + "\n");
}

}  // namespace lumivant
