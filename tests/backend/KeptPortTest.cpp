// The backend's kept port with real sockets: one whose last connection lingers
// in TIME_WAIT is free for the next backend, one another program listens on in
// a way 127.0.0.1 reaches is not.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "backend/Backend.h"
#include "backend/FreePort.h"
#include "backend/PortOwnership.h"
#include "base/UniqueFd.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using testing::TempDir;

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A listening socket on 127.0.0.1, as a server has it.
UniqueFd listenOn(uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = loopback(port);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.get(), 4) != 0) {
    return {};
  }
  return socket;
}

bool bindsWithoutReuse(uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = loopback(port);
  return ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

TEST(KeptPortTest, PortWhoseLastConnectionLingersInTimeWaitCountsAsFree) {
  const uint16_t port = pickFreeLoopbackPort().value();
  {
    UniqueFd server = listenOn(port);
    ASSERT_TRUE(server);
    UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    UniqueFd accepted(::accept(server.get(), nullptr, nullptr));
    ASSERT_TRUE(accepted);
    // The server closes first, as a backend that exits does: its end of the
    // connection stays in TIME_WAIT on the port.
    accepted.reset();
    client.reset();
  }
  ASSERT_FALSE(bindsWithoutReuse(port)) << "the connection should linger in TIME_WAIT";
  EXPECT_TRUE(isLoopbackPortFree(port));
  EXPECT_EQ(chooseBackendPort(port), port);

  TempDir dir;
  const Backend backend("/nonexistent/python3", dir / "logs", port);
  EXPECT_EQ(backend.port(), port);
  EXPECT_EQ(backend.url().absoluteString(), "http://127.0.0.1:" + std::to_string(port) + "/");
}

TEST(KeptPortTest, PortAnotherProgramListensOnIsNotKept) {
  const uint16_t port = pickFreeLoopbackPort().value();
  const UniqueFd other = listenOn(port);
  ASSERT_TRUE(other);
  EXPECT_FALSE(isLoopbackPortFree(port));
  TempDir dir;
  const Backend backend("/nonexistent/python3", dir / "logs", port);
  EXPECT_NE(backend.port(), port);
}

// A listener on [::]:port, taking IPv4 too or not.
UniqueFd listenOnEveryIpv6Address(uint16_t port, bool ipv6Only) {
  UniqueFd socket(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int only = ipv6Only ? 1 : 0;
  ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_any;
  address.sin6_port = htons(port);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.get(), 4) != 0) {
    return {};
  }
  return socket;
}

// 127.0.0.1 never reaches an IPv6-only socket, even one on every address: it
// answers nobody there, and the kept port stays the backend's. One that takes
// IPv4 too does answer there.
TEST(KeptPortTest, AnIpv6OnlyListenerOnEveryAddressLeavesTheKeptPortFree) {
  const uint16_t port = pickFreeLoopbackPort().value();
  {
    const UniqueFd ipv6Only = listenOnEveryIpv6Address(port, true);
    ASSERT_TRUE(ipv6Only);
    EXPECT_TRUE(isLoopbackPortFree(port));
    EXPECT_EQ(holderOfLoopbackPort(listeningSockets(), port, ::geteuid(), {}), PortHolder::nobody);
    TempDir dir;
    EXPECT_EQ(Backend("/nonexistent/python3", dir / "logs", port).port(), port);
  }
  const UniqueFd dualStack = listenOnEveryIpv6Address(port, false);
  ASSERT_TRUE(dualStack);
  EXPECT_FALSE(isLoopbackPortFree(port));
  EXPECT_EQ(holderOfLoopbackPort(listeningSockets(), port, ::geteuid(), {}), PortHolder::other);
}

}  // namespace
}  // namespace lumivant
