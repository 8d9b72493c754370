#include "backend/HeldPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "backend/FreePort.h"

namespace lumivant {

UniqueFd listenOnLoopback(uint16_t port) {
  // With SO_REUSEADDR, so that the kept port comes back while the last run's
  // connections to it linger in TIME_WAIT (a connection left there by a socket
  // without the option blocks the port even for one with it, so a fresh port
  // gets it too). It lets nobody in: until listen() another socket with the
  // same option may be bound to the address too, but only one of the two can
  // listen, and when that is the other one, listen() fails here and the port
  // is given up.
  UniqueFd socket = bindLoopback(port, AddressReuse::on);
  if (!socket || ::listen(socket.get(), SOMAXCONN) != 0) return {};
  return socket;
}

std::unique_ptr<HeldPort> HeldPort::listen(std::optional<uint16_t> kept) {
  for (const uint16_t port : {kept.value_or(0), uint16_t{0}}) {
    UniqueFd socket = listenOnLoopback(port);
    if (!socket) continue;
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) continue;
    return std::make_unique<HeldPort>(std::move(socket), ntohs(bound.sin_port));
  }
  return nullptr;
}

}  // namespace lumivant
