#include "selfupdate/PayloadPointer.h"

#include "base/JsonDocument.h"

namespace lumivant {

namespace {

// C0 controls and DEL, and the C1 controls U+0080 to U+009F, which UTF-8
// writes as 0xC2 followed by 0x80 to 0x9F. The text is well-formed UTF-8 (the
// JSON parser checked it), so 0xC2 always starts a character.
bool holdsAControlCharacter(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) return true;
    if (byte == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
  }
  return false;
}

}  // namespace

bool namesOneDirectory(std::string_view version) {
  if (version.empty() || version == "." || version == "..") return false;
  if (version.find('/') != std::string_view::npos) return false;
  return !holdsAControlCharacter(version);
}

std::optional<std::string> readPayloadVersion(std::string_view contents) {
  const nlohmann::json pointer = parseJsonDocument(contents);
  if (!pointer.is_object()) return {};
  const auto version = pointer.find("version");
  if (version == pointer.end() || !version->is_string()) return {};
  std::string text = version->get<std::string>();
  if (!namesOneDirectory(text)) return {};
  return text;
}

}  // namespace lumivant
