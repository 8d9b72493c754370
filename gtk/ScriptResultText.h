#pragma once

#include <jsc/jsc.h>

#include <optional>
#include <string>

namespace lumivant::gtk {

// A script's result as text: a string as itself, another value in its textual
// form, and nothing for undefined or null.
std::optional<std::string> scriptResultText(JSCValue* value);

}  // namespace lumivant::gtk
