#include "base/Url.h"

#include <glib.h>

#include "base/CanonicalHost.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace lumivant {

namespace {

struct UriDeleter {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};

// The WHATWG special schemes that have a host, with their default ports
// (-1 where the scheme has none).
constexpr std::array<std::pair<std::string_view, int>, 6> kSpecialSchemes = {{
    {"http", 80},
    {"https", 443},
    {"ws", 80},
    {"wss", 443},
    {"ftp", 21},
    {"file", -1},
}};

const std::pair<std::string_view, int>* specialScheme(std::string_view scheme) {
  for (const auto& entry : kSpecialSchemes) {
    if (entry.first.size() == scheme.size() &&
        g_ascii_strncasecmp(entry.first.data(), scheme.data(), scheme.size()) == 0) {
      return &entry;
    }
  }
  return nullptr;
}

// Where the authority of a URL with "//" after its scheme begins and ends.
std::pair<size_t, size_t> authoritySpan(const std::string& text, size_t schemeStart) {
  const size_t slashes = text.find("//", schemeStart);
  if (slashes == std::string::npos || slashes != text.find(':', schemeStart) + 1) return {0, 0};
  const size_t start = slashes + 2;
  return {start, std::min(text.find_first_of("/?#\\", start), text.size())};
}

// The text with its host and port as the engine writes them: the host in its
// canonical form, no default port, and the root path where none is written.
// The scheme, user information, path, query and fragment stay as written.
std::string withCanonicalAuthority(const std::string& text, size_t schemeStart,
                                   const std::string& host, const std::optional<int>& port) {
  const auto [authorityStart, authorityEnd] = authoritySpan(text, schemeStart);
  if (authorityEnd == 0) return text;
  const size_t at = text.rfind('@', authorityEnd - 1);
  const size_t hostStart =
      at != std::string::npos && at >= authorityStart ? at + 1 : authorityStart;
  std::string canonical = text.substr(0, hostStart);
  canonical += host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port) canonical += ":" + std::to_string(*port);
  if (authorityEnd == text.size() || text[authorityEnd] != '/') canonical += '/';
  canonical += text.substr(authorityEnd);
  return canonical;
}

}  // namespace

std::string Url::displayString() const {
  const auto [start, end] = authoritySpan(text_, 0);
  const size_t at = end > start ? text_.rfind('@', end - 1) : std::string::npos;
  if (at == std::string::npos || at < start) return text_;
  const size_t colon = text_.find(':', start);
  if (colon == std::string::npos || colon > at) return text_;
  return text_.substr(0, colon + 1) + "***" + text_.substr(at);
}

std::optional<Url> Url::parse(std::string_view text) { return parse(text, Leniency::strict); }

std::optional<Url> Url::parseReported(std::string_view text) {
  if (auto url = parse(text, Leniency::strict)) return url;
  return parse(text, Leniency::lenient);
}

std::optional<Url> Url::parse(std::string_view text, Leniency leniency) {
  const std::string owned(text);
  // Text with an embedded NUL cannot be handed to GLib whole.
  if (owned.find('\0') != std::string::npos) return std::nullopt;
  auto flags = static_cast<GUriFlags>(G_URI_FLAGS_ENCODED | G_URI_FLAGS_NON_DNS);
  if (leniency == Leniency::lenient)
    flags = static_cast<GUriFlags>(flags | G_URI_FLAGS_PARSE_RELAXED);
  GError* error = nullptr;
  std::unique_ptr<GUri, UriDeleter> uri(g_uri_parse(owned.c_str(), flags, &error));
  if (!uri) {
    g_clear_error(&error);
    return std::nullopt;
  }
  Url url;
  url.text_ = owned;
  // GLib lower-cases the scheme; the shell compares it as written. The lenient
  // parse also accepts leading white space, which is not part of the scheme.
  const size_t start = owned.find_first_not_of(" \t\r\n");
  url.scheme_ = owned.substr(start, owned.find(':') - start);
  const auto* special = specialScheme(*url.scheme_);
  if (const char* host = g_uri_get_host(uri.get()); host && *host) {
    url.host_ = host;
    if (special) {
      const bool ipv6 = url.host_->find(':') != std::string::npos;
      const auto canonical = ipv6 ? canonicalIpv6(host) : canonicalHost(host);
      if (!canonical) return std::nullopt;
      url.host_ = *canonical;
    }
  }
  if (const int port = g_uri_get_port(uri.get()); port >= 0) {
    if (!special || special->second != port) url.port_ = port;
  }
  if (special && url.host_) url.text_ = withCanonicalAuthority(owned, start, *url.host_, url.port_);
  url.path_ = g_uri_get_path(uri.get());
  return url;
}

}  // namespace lumivant
