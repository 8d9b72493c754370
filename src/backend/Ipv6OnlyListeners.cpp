#include "backend/Ipv6OnlyListeners.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "base/UniqueFd.h"

namespace lumivant {

namespace {

// Whether one of the kernel's answers says its socket is IPv6-only. The
// kernel adds INET_DIAG_SKV6ONLY to the answer for every listening IPv6 socket.
bool isIpv6Only(const nlmsghdr* header) {
  const auto* message = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
  int length = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *message));
  for (auto* attribute = reinterpret_cast<const rtattr*>(message + 1); RTA_OK(attribute, length);
       attribute = RTA_NEXT(attribute, length)) {
    if (attribute->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(attribute) >= sizeof(uint8_t)) {
      return *static_cast<const uint8_t*>(RTA_DATA(attribute)) != 0;
    }
  }
  return false;
}

}  // namespace

std::optional<std::set<unsigned long>> ipv6OnlyListeners() {
  UniqueFd diagnostics(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!diagnostics) return std::nullopt;

  // One request for every listening IPv6 TCP socket of this network namespace.
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } ask{};
  ask.header.nlmsg_len = sizeof ask;
  ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  ask.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  ask.request.sdiag_family = AF_INET6;
  ask.request.sdiag_protocol = IPPROTO_TCP;
  ask.request.idiag_states = 1U << TCP_LISTEN;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(diagnostics.get(), &ask, sizeof ask, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof ask)) {
    return std::nullopt;
  }

  std::set<unsigned long> ipv6Only;
  alignas(nlmsghdr) std::array<char, size_t{32} * 1024> buffer{};
  for (;;) {
    const ssize_t got = ::recv(diagnostics.get(), buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    auto length = static_cast<unsigned>(got);
    for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
      if (header->nlmsg_type == NLMSG_DONE) return ipv6Only;
      if (header->nlmsg_type == NLMSG_ERROR) return std::nullopt;
      if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
          header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        continue;
      }
      if (isIpv6Only(header)) {
        ipv6Only.insert(static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_inode);
      }
    }
  }
}

}  // namespace lumivant
