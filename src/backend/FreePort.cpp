#include "backend/FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "backend/PortOwnership.h"

namespace lumivant {

UniqueFd bindLoopback(uint16_t port, AddressReuse reuse) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return {};
  if (reuse == AddressReuse::on) {
    const int on = 1;
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return {};
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  address.sin_port = htons(port);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return socket;
}

std::optional<uint16_t> pickFreeLoopbackPort() {
  const UniqueFd socket = bindLoopback(0, AddressReuse::off);
  if (!socket) return std::nullopt;
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    return std::nullopt;
  }
  return ntohs(bound.sin_port);
}

bool isLoopbackPortFree(uint16_t port) {
  if (port == 0 || !bindLoopback(port, AddressReuse::on)) return false;
  // A bind to 127.0.0.1 succeeds beside a socket that listens on every
  // address only when one of the two shares it on purpose (SO_REUSEPORT, one
  // user): such a listener would still answer on the port. One that takes no
  // IPv4 at all (an IPv6-only socket on ::) answers nobody there.
  return holderOfLoopbackPort(listeningSockets(), port, ::geteuid(), {}) == PortHolder::nobody;
}

std::optional<uint16_t> chooseBackendPort(std::optional<uint16_t> kept) {
  if (kept && isLoopbackPortFree(*kept)) return kept;
  return pickFreeLoopbackPort();
}

}  // namespace lumivant
