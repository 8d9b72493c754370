#pragma once

#include <cstdint>
#include <optional>

namespace lumivant {

// A port of 127.0.0.1 that was free a moment ago: the kernel's choice for a
// socket bound to port 0. The port is not held; whoever binds it next gets it.
std::optional<uint16_t> pickFreeLoopbackPort();

// Whether a server could listen on 127.0.0.1:port now. Tested the way servers
// bind, with SO_REUSEADDR, so that a port whose last connections linger in
// TIME_WAIT counts as free; a port another program listens on does not.
bool isLoopbackPortFree(uint16_t port);

// The port for a new backend: the kept one while it is free, so that the web
// application keeps its origin (and with it the site storage the engine keeps
// per origin); otherwise a fresh free port. Nothing when no port can be had.
std::optional<uint16_t> chooseBackendPort(std::optional<uint16_t> kept);

}  // namespace lumivant
