#pragma once

#include <optional>
#include <string>

#include "host/WebViewDelegate.h"

namespace lumivant {

// The message for a load of the app's own address that failed after the app
// had shown its first page, saying which address, why, and how to try again;
// nothing for a load that another load took the place of, which is no failure.
std::optional<std::string> laterLoadFailureMessage(const NavigationFailure& failure);

}  // namespace lumivant
