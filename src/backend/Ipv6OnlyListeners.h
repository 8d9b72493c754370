#pragma once

#include <optional>
#include <set>

namespace lumivant {

// The inodes of the listening IPv6 TCP sockets that take no IPv4 connections
// (IPV6_V6ONLY), as the kernel's socket diagnostics report them: a connection
// to 127.0.0.1 never reaches one, even one bound to ::. The socket tables in
// /proc do not tell. Nothing when the diagnostics cannot be asked.
std::optional<std::set<unsigned long>> ipv6OnlyListeners();

}  // namespace lumivant
