#include "base/JsonDocument.h"

#include <unicode/unistr.h>

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

JsonEntries parseJsonEntries(std::string_view text) {
  using Event = nlohmann::json::parse_event_t;
  JsonEntries entries;
  if (text.empty()) return entries;
  // The callback sees each container open at the depth of its parent: an
  // entry's value opens, and closes, at depth 1. A container too deep is not
  // kept, nor is the rest of the entry it lies in.
  bool entryTooDeep = false;
  bool leftOut = false;
  const auto keepShallowEntries = [&](int depth, Event event, nlohmann::json&) {
    if (depth == 1 && event == Event::key) entryTooDeep = false;
    if ((event == Event::object_start || event == Event::array_start) &&
        depth >= kJsonNestingLimit) {
      entryTooDeep = true;
      return false;
    }
    if (depth == 1 && (event == Event::object_end || event == Event::array_end) && entryTooDeep) {
      leftOut = true;
      return false;
    }
    return true;
  };
  nlohmann::json document =
      nlohmann::json::parse(text, keepShallowEntries, /*allow_exceptions=*/false);
  if (!document.is_object()) {
    entries.leftSomethingOut = true;
    return entries;
  }
  // A discarded array stays in its object as a discarded value.
  for (auto entry = document.begin(); entry != document.end();) {
    entry = entry->is_discarded() ? document.erase(entry) : std::next(entry);
  }
  entries.object = std::move(document);
  entries.leftSomethingOut = leftOut;
  return entries;
}

nlohmann::json JsonObjectFile::value(const std::string& key) const {
  const FileRead current = file_.read();
  if (current.state != FileState::ok) return {};
  const JsonEntries entries = parseJsonEntries(current.text);
  const auto entry = entries.object.find(key);
  return entry == entries.object.end() ? nlohmann::json() : *entry;
}

bool JsonObjectFile::setValue(const std::string& key, nlohmann::json value) const {
  return file_.update([&](const FileRead& current) {
    JsonEntries entries;
    if (current.state == FileState::ok) entries = parseJsonEntries(current.text);
    entries.object[key] = std::move(value);
    return StateFile::Revision{entries.object.dump(2) + "\n", entries.leftSomethingOut};
  });
}

}  // namespace lumivant
