#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// The host of an http, https, ws, wss or ftp URL as the web engine reports it,
// from the host as it was written (percent escapes and all, without the
// brackets of an IPv6 address):
//   - percent escapes decoded, then mapped by IDNA (UTS #46, non-transitional):
//     lower case, full-width forms folded, an internationalised name in its
//     ASCII (punycode) form;
//   - a host that ends in a number read as an IPv4 address in any of its
//     written forms (127.1, 0x7f.0.0.1, 0177.0.0.1, 2130706433) and written
//     in dotted decimal.
// Nothing when the engine would refuse the host: an IDNA error, or a host
// ending in a number that is no IPv4 address.
std::optional<std::string> canonicalHost(std::string_view written);

// An IPv6 address (without brackets) as the engine writes it: lower-case hex
// pieces without leading zeros, the first longest run of two or more zero
// pieces as "::", no dotted IPv4 tail. Nothing when it is no IPv6 address.
std::optional<std::string> canonicalIpv6(std::string_view written);

}  // namespace lumivant
