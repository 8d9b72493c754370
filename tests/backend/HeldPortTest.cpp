// The listening socket the shell holds for the backend, with real sockets and
// the sample backend: nobody else binds its port in any way a server can, and
// every backend of the run is handed the same socket as descriptor 3, the way
// socket activation hands one down.

#include "backend/HeldPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/BackendSecret.h"
#include "backend/ReadinessProbe.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using ::testing::IsSupersetOf;
using testing::TempDir;

struct BindAttempt {
  const char* name;
  int family;
  bool reuseAddress;
  bool reusePort;
  bool everyAddress;  // 0.0.0.0 or [::] rather than 127.0.0.1
};

// Binds the port as a server would: 127.0.0.1 or every address, IPv6 taking
// IPv4 too.
bool binds(const BindAttempt& attempt, uint16_t port) {
  UniqueFd socket(::socket(attempt.family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (attempt.reuseAddress) ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (attempt.reusePort) ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  if (attempt.family == AF_INET6) {
    const int off = 0;
    ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(port);
    return ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(attempt.everyAddress ? INADDR_ANY : INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

TEST(HeldPortTest, NobodyBindsTheHeldPortAndABusyKeptPortGivesWay) {
  const std::unique_ptr<HeldPort> held = HeldPort::listen(std::nullopt);
  ASSERT_TRUE(held);
  for (const BindAttempt& attempt : {BindAttempt{"plain", AF_INET, false, false, false},
                                     BindAttempt{"SO_REUSEADDR", AF_INET, true, false, false},
                                     BindAttempt{"SO_REUSEPORT", AF_INET, true, true, false},
                                     BindAttempt{"0.0.0.0", AF_INET, true, false, true},
                                     BindAttempt{"[::]", AF_INET6, true, false, true}}) {
    EXPECT_FALSE(binds(attempt, held->port())) << attempt.name;
  }
  const std::unique_ptr<HeldPort> second = HeldPort::listen(held->port());
  ASSERT_TRUE(second);
  EXPECT_NE(second->port(), held->port());
}

std::vector<std::string> environmentOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> entries;
  for (size_t start = 0; start < all.size();) {
    const size_t end = all.find('\0', start);
    entries.push_back(all.substr(start, end - start));
    start = end == std::string::npos ? all.size() : end + 1;
  }
  return entries;
}

std::optional<long> statusOf(const std::string& url, const std::string& cookie) {
  return probeReadiness(url, 10, cookie).status;
}

TEST(HeldPortTest, EveryBackendOfTheRunServesOnTheHeldSocketForTheSecretOnly) {
  TempDir root;
  std::shared_ptr<const HeldPort> held = HeldPort::listen(std::nullopt);
  ASSERT_TRUE(held);
  struct stat socketFile {};
  ASSERT_EQ(::fstat(held->descriptor(), &socketFile), 0);
  const std::string secret = makeBackendSecret();
  const std::string cookie = backendSecretCookieHeader(secret);

  pid_t previous = 0;
  for (int run = 0; run < 2; ++run) {
    auto backend = std::make_shared<Backend>(LUMIVANT_SAMPLE_PYTHON, root / "logs",
                                             BackendSetup{held, std::nullopt, secret});
    EXPECT_EQ(backend->port(), held->port());
    backend->start();
    ASSERT_EQ(backend->waitUntilReady(60), std::nullopt);
    const std::vector<pid_t> children = testing::ourChildren();
    ASSERT_EQ(children.size(), 1u);
    const pid_t child = children[0];
    EXPECT_NE(child, previous);
    previous = child;
    EXPECT_EQ(testing::descriptorTarget(child, 3),
              "socket:[" + std::to_string(socketFile.st_ino) + "]");
    EXPECT_THAT(environmentOf(child),
                IsSupersetOf(std::vector<std::string>{
                    "LISTEN_FDS=1", "LISTEN_FDNAMES=http", "LISTEN_PID=" + std::to_string(child),
                    std::string(kBackendSecretVariable) + "=" + secret}));

    const std::string home = backend->url().absoluteString();
    EXPECT_EQ(statusOf(home, cookie), 200);
    EXPECT_EQ(statusOf(home, ""), 403);
    EXPECT_EQ(statusOf(home, std::string(kBackendSecretCookie) + "=" + secret.substr(1)), 403);
    EXPECT_EQ(statusOf(home + "health/ready", ""), 200) << "the probe needs no secret";
    backend->stop();
    // Between two backends the port stays the shell's.
    EXPECT_FALSE(binds({"SO_REUSEADDR", AF_INET, true, false, false}, held->port()));
  }
}

}  // namespace
}  // namespace lumivant
