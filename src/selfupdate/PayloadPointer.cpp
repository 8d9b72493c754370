#include "selfupdate/PayloadPointer.h"

#include <nlohmann/json.hpp>

namespace lumivant {

std::optional<std::string> readPayloadVersion(std::string_view contents) {
  const nlohmann::json pointer =
      nlohmann::json::parse(contents, /*callback=*/nullptr, /*allow_exceptions=*/false);
  if (!pointer.is_object()) return {};
  const auto version = pointer.find("version");
  if (version == pointer.end() || !version->is_string()) return {};
  std::string text = version->get<std::string>();
  if (text.empty()) return {};
  return text;
}

}  // namespace lumivant
