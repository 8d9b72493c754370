#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace lumivant {

// A listening TCP socket as the kernel's socket tables (/proc/net/tcp and
// tcp6) show it.
struct ListeningSocket {
  uint16_t port = 0;
  // Whether a connection to 127.0.0.1 can reach it: bound to 127.0.0.1 or to
  // every address, in IPv4 or as an IPv6 socket that takes IPv4 too. The
  // table's text does not tell an IPv6-only socket on :: (which takes no IPv4)
  // from one that takes both; listeningSockets() asks the kernel.
  bool reachableOnLoopback = false;
  uid_t owner = 0;
  unsigned long inode = 0;
};

enum class AddressFamily { ipv4, ipv6 };

// The listening sockets of one table's text; lines that do not parse are
// skipped.
std::vector<ListeningSocket> parseListeningSockets(std::string_view table, AddressFamily family);

// Who answers a connection to 127.0.0.1:port.
enum class PortHolder {
  nobody,
  backend,  // every socket that could answer is the backend's and the user's
  other,    // at least one belongs to another program or user
};

PortHolder holderOfLoopbackPort(const std::vector<ListeningSocket>& listening, uint16_t port,
                                uid_t user, const std::set<unsigned long>& backendSockets);

// The listening sockets of both of this network namespace's tables, those
// that take no IPv4 (IPV6_V6ONLY) marked unreachable from 127.0.0.1.
std::vector<ListeningSocket> listeningSockets();

// The inodes of the sockets the given processes hold open.
std::set<unsigned long> socketInodesOf(const std::vector<pid_t>& processes);

}  // namespace lumivant
