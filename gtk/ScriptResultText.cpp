#include "ScriptResultText.h"

namespace lumivant::gtk {

std::optional<std::string> scriptResultText(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return std::nullopt;
  g_autofree char* text = jsc_value_to_string(value);
  if (!text) return std::nullopt;
  return std::string(text);
}

}  // namespace lumivant::gtk
