#pragma once

#include <cstdint>
#include <optional>

#include "base/UniqueFd.h"

namespace lumivant {

enum class AddressReuse { off, on };

// A close-on-exec IPv4 stream socket bound to 127.0.0.1:port, or an empty one
// when the socket or the bind failed. Close-on-exec, so that a child spawned by
// another thread meanwhile cannot inherit the socket and keep the port bound.
UniqueFd bindLoopback(uint16_t port, AddressReuse reuse);

// A port of 127.0.0.1 that was free a moment ago: the kernel's choice for a
// socket bound to port 0. The port is not held; whoever binds it next gets it.
std::optional<uint16_t> pickFreeLoopbackPort();

// Whether a server could listen on 127.0.0.1:port now. Tested the way servers
// bind, with SO_REUSEADDR, so that a port whose last connections linger in
// TIME_WAIT counts as free; a port another program listens on, in a way that
// a connection to 127.0.0.1 reaches, does not.
bool isLoopbackPortFree(uint16_t port);

// The port for a new backend: the kept one while it is free, so that the web
// application keeps its origin (and with it the site storage the engine keeps
// per origin); otherwise a fresh free port. Nothing when no port can be had.
std::optional<uint16_t> chooseBackendPort(std::optional<uint16_t> kept);

}  // namespace lumivant
