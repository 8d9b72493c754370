#include "backend/PortOwnership.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

#include "backend/Ipv6OnlyListeners.h"
#include "base/FileReading.h"

namespace lumivant {

namespace {

constexpr std::string_view kListenState = "0A";

std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(line.find(' ', start), line.size());
    fields.push_back(line.substr(start, end - start));
    at = end;
  }
  return fields;
}

template <class Number>
std::optional<Number> parseNumber(std::string_view text, int base) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The kernel prints each 32-bit word of the address as the number it is in
// memory, so parsing it back into memory gives the address's bytes.
std::optional<std::vector<uint32_t>> addressWords(std::string_view hex) {
  if (hex.size() % 8 != 0 || hex.empty()) return std::nullopt;
  std::vector<uint32_t> words;
  for (size_t at = 0; at < hex.size(); at += 8) {
    const auto word = parseNumber<uint32_t>(hex.substr(at, 8), 16);
    if (!word) return std::nullopt;
    words.push_back(*word);
  }
  return words;
}

bool reachableOnLoopback(const std::vector<uint32_t>& words, AddressFamily family) {
  if (family == AddressFamily::ipv4) {
    return words.size() == 1 && (words[0] == htonl(INADDR_LOOPBACK) || words[0] == INADDR_ANY);
  }
  if (words.size() != 4) return false;
  in6_addr address{};
  std::memcpy(&address, words.data(), sizeof address);
  if (IN6_IS_ADDR_UNSPECIFIED(&address)) return true;  // takes IPv4 unless set IPv6-only
  if (!IN6_IS_ADDR_V4MAPPED(&address)) return false;
  const uint32_t v4 = words[3];
  return v4 == htonl(INADDR_LOOPBACK) || v4 == INADDR_ANY;
}

}  // namespace

std::vector<ListeningSocket> parseListeningSockets(std::string_view table, AddressFamily family) {
  std::vector<ListeningSocket> sockets;
  // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ..."
  while (!table.empty()) {
    const size_t end = std::min(table.find('\n'), table.size());
    const std::vector<std::string_view> fields = fieldsOf(table.substr(0, end));
    table.remove_prefix(std::min(end + 1, table.size()));
    if (fields.size() < 10 || fields[3] != kListenState) continue;
    const size_t colon = fields[1].find(':');
    if (colon == std::string_view::npos) continue;
    const auto words = addressWords(fields[1].substr(0, colon));
    const auto port = parseNumber<uint16_t>(fields[1].substr(colon + 1), 16);
    const auto owner = parseNumber<uid_t>(fields[7], 10);
    const auto inode = parseNumber<unsigned long>(fields[9], 10);
    if (!words || !port || !owner || !inode) continue;
    sockets.push_back({*port, reachableOnLoopback(*words, family), *owner, *inode});
  }
  return sockets;
}

PortHolder holderOfLoopbackPort(const std::vector<ListeningSocket>& listening, uint16_t port,
                                uid_t user, const std::set<unsigned long>& backendSockets) {
  PortHolder holder = PortHolder::nobody;
  for (const ListeningSocket& socket : listening) {
    if (socket.port != port || !socket.reachableOnLoopback) continue;
    if (socket.owner != user || !backendSockets.count(socket.inode)) return PortHolder::other;
    holder = PortHolder::backend;
  }
  return holder;
}

std::vector<ListeningSocket> listeningSockets() {
  // Asked first: an IPv6 listener that appears in between is taken to take
  // IPv4 too, as is every one when the kernel cannot be asked.
  const std::optional<std::set<unsigned long>> ipv6Only = ipv6OnlyListeners();
  std::vector<ListeningSocket> sockets;
  for (const auto& [path, family] : {std::pair{"/proc/net/tcp", AddressFamily::ipv4},
                                     std::pair{"/proc/net/tcp6", AddressFamily::ipv6}}) {
    const std::optional<std::string> table = readWholeFile(path);
    if (!table) continue;  // no IPv6 on this system
    std::vector<ListeningSocket> found = parseListeningSockets(*table, family);
    for (ListeningSocket& socket : found) {
      if (family == AddressFamily::ipv6 && ipv6Only && ipv6Only->count(socket.inode))
        socket.reachableOnLoopback = false;
    }
    sockets.insert(sockets.end(), found.begin(), found.end());
  }
  return sockets;
}

std::set<unsigned long> socketInodesOf(const std::vector<pid_t>& processes) {
  constexpr std::string_view kSocket = "socket:[";
  std::set<unsigned long> inodes;
  for (const pid_t pid : processes) {
    const std::string directory = "/proc/" + std::to_string(pid) + "/fd";
    DIR* descriptors = opendir(directory.c_str());
    if (!descriptors) continue;  // ended meanwhile
    while (const dirent* entry = readdir(descriptors)) {
      if (entry->d_name[0] == '.') continue;
      char target[64];
      const std::string link = directory + "/" + entry->d_name;
      const ssize_t length = readlink(link.c_str(), target, sizeof target);
      if (length <= 0 || static_cast<size_t>(length) >= sizeof target) continue;
      const std::string_view text(target, static_cast<size_t>(length));
      if (!text.starts_with(kSocket) || !text.ends_with(']')) continue;
      const auto inode = parseNumber<unsigned long>(
          text.substr(kSocket.size(), text.size() - kSocket.size() - 1), 10);
      if (inode) inodes.insert(*inode);
    }
    closedir(descriptors);
  }
  return inodes;
}

}  // namespace lumivant
