#include "base/CanonicalHost.h"

#include <arpa/inet.h>
#include <glib.h>
#include <idn2.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace lumivant {

namespace {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string asciiLowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return g_ascii_tolower(c); });
  return lower;
}

std::vector<std::string_view> splitAtDots(std::string_view host) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = host.find('.', start);
    parts.push_back(host.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

// One part of an IPv4 address: decimal, octal after a leading 0, hexadecimal
// after 0x. Values beyond 2^32 are all equally too large, so they saturate.
std::optional<uint64_t> ipv4Number(std::string_view part) {
  if (part.empty()) return {};
  int radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    radix = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    radix = 8;
    part.remove_prefix(1);
  }
  uint64_t value = 0;
  for (const char c : part) {
    const int digit = g_ascii_xdigit_value(c);
    if (digit < 0 || digit >= radix || (radix != 16 && !g_ascii_isdigit(c))) return {};
    value = std::min<uint64_t>(value * radix + digit, uint64_t{1} << 40);
  }
  return value;
}

// Whether the engine reads the host as an IPv4 address: its last part (a
// trailing dot aside) is all digits, or a hexadecimal number.
bool endsInANumber(const std::vector<std::string_view>& parts) {
  std::string_view last = parts.back();
  if (last.empty() && parts.size() > 1) last = parts[parts.size() - 2];
  if (last.empty()) return false;
  if (std::all_of(last.begin(), last.end(), [](char c) { return g_ascii_isdigit(c); })) return true;
  return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
         ipv4Number(last).has_value();
}

std::optional<std::string> dottedDecimal(std::vector<std::string_view> parts) {
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  if (parts.size() > 4) return {};
  uint64_t address = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const auto number = ipv4Number(parts[i]);
    if (!number) return {};
    const bool last = i + 1 == parts.size();
    // The last part fills every byte that the parts before it left.
    const uint64_t limit = last ? uint64_t{1} << (8 * (5 - parts.size())) : 256;
    if (*number >= limit) return {};
    address += last ? *number : *number << (8 * (3 - i));
  }
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace

std::optional<std::string> canonicalIpv6(std::string_view written) {
  in6_addr address{};
  if (::inet_pton(AF_INET6, std::string(written).c_str(), &address) != 1) return {};
  std::array<unsigned, 8> pieces{};
  for (size_t i = 0; i < pieces.size(); ++i)
    pieces[i] = (address.s6_addr[2 * i] << 8) | address.s6_addr[2 * i + 1];
  size_t runStart = pieces.size();
  size_t runLength = 1;
  for (size_t i = 0; i < pieces.size();) {
    size_t length = 0;
    while (i + length < pieces.size() && pieces[i + length] == 0) ++length;
    if (length > runLength) {
      runStart = i;
      runLength = length;
    }
    i += std::max<size_t>(length, 1);
  }
  std::string text;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i == runStart) {
      text += i == 0 ? "::" : ":";
      i += runLength - 1;
      continue;
    }
    char piece[8];
    std::snprintf(piece, sizeof piece, "%x", pieces[i]);
    text += piece;
    if (i + 1 < pieces.size()) text += ':';
  }
  return text;
}

std::optional<std::string> canonicalHost(std::string_view written) {
  const std::string owned(written);
  std::unique_ptr<char, decltype(&g_free)> decoded(g_uri_unescape_string(owned.c_str(), nullptr),
                                                   &g_free);
  if (!decoded) return {};
  std::string host;
  if (isAscii(decoded.get())) {
    // For ASCII the mapping is lower case alone; IDNA's further checks of
    // ASCII labels (their lengths, for one) are not the engine's.
    host = asciiLowerCase(decoded.get());
  } else {
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(decoded.get(), &ascii, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT) != IDN2_OK) {
      return {};
    }
    host = std::unique_ptr<char, FreeDeleter>(ascii).get();
  }
  // The engine refuses a host that still holds one of these once decoded and
  // mapped ("%" included: "0%2541" decodes to "0%41", never to "0A").
  static constexpr char kForbiddenCharacters[] = "\0\t\n\r #/:<>?@[\\]^|%\x7f";
  constexpr std::string_view kForbidden(kForbiddenCharacters, sizeof kForbiddenCharacters - 1);
  if (host.find_first_of(kForbidden) != std::string::npos ||
      std::any_of(host.begin(), host.end(), [](char c) { return c > 0 && c < 0x20; })) {
    return {};
  }
  const std::vector<std::string_view> parts = splitAtDots(host);
  if (endsInANumber(parts)) return dottedDecimal(parts);
  return host;
}

}  // namespace lumivant
