#include "orgserver/ServerFile.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <nlohmann/json.hpp>

#include "base/JsonDocument.h"
#include "base/PathJoin.h"

namespace lumivant {

namespace {

bool isWhiteSpaceOrLineBreak(UChar32 c) { return u_isUWhiteSpace(c); }

// Removes Unicode white space and line breaks from both ends. The text is the
// UTF-8 of a JSON string, so it is well formed.
std::string trimmed(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t begin = 0;
  while (begin < length) {
    int32_t next = begin;
    UChar32 c;
    U8_NEXT(bytes, next, length, c);
    if (c < 0 || !isWhiteSpaceOrLineBreak(c)) break;
    begin = next;
  }
  int32_t end = length;
  while (end > begin) {
    int32_t previous = end;
    UChar32 c;
    U8_PREV(bytes, begin, previous, c);
    if (c < 0 || !isWhiteSpaceOrLineBreak(c)) break;
    end = previous;
  }
  return text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

}  // namespace

std::optional<Url> parseServerFile(const std::string& contents) {
  const nlohmann::json document = parseJsonDocument(contents);
  if (!document.is_object()) return std::nullopt;  // also what a parse error gives
  const auto entry = document.find("url");
  if (entry == document.end() || !entry->is_string()) return std::nullopt;
  auto url = Url::parse(trimmed(entry->get<std::string>()));
  if (!url || !url->scheme()) return std::nullopt;
  // Compared as written: "HTTP" is not accepted.
  if (*url->scheme() == "http" || *url->scheme() == "https") return url;
  return std::nullopt;
}

std::optional<Url> organisationServer(const std::string& dataRoot) {
  const auto contents = readJsonFileText(joinPath(dataRoot, "server.json"));
  if (!contents) return std::nullopt;
  return parseServerFile(*contents);
}

}  // namespace lumivant
