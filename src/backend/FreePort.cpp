#include "backend/FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "base/UniqueFd.h"

namespace lumivant {

std::optional<uint16_t> pickFreeLoopbackPort() {
  // Close-on-exec, so that a child spawned by another thread meanwhile cannot
  // inherit the socket and keep the port bound.
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return std::nullopt;

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  address.sin_port = 0;
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }

  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    return std::nullopt;
  }
  return ntohs(bound.sin_port);
}

}  // namespace lumivant
