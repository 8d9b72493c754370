#pragma once

#include <optional>
#include <string>

#include "base/Url.h"
#include "host/ContextMenu.h"

namespace lumivant {

// Decides one item. address is the link's, image's or media's address the
// item acts on, when it acts on one; base is the backend's address.
ContextMenuChoice decideContextMenuItem(ContextMenuItem item,
                                        const std::optional<std::string>& address,
                                        const std::optional<Url>& base);

}  // namespace lumivant
