#pragma once

#include <cstdint>
#include <optional>

namespace lumivant {

// A port of 127.0.0.1 that was free a moment ago: the kernel's choice for a
// socket bound to port 0. The port is not held; whoever binds it next gets it.
std::optional<uint16_t> pickFreeLoopbackPort();

}  // namespace lumivant
