#include "base/Url.h"

#include <glib.h>

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

}  // namespace

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
      std::transform(url.host_->begin(), url.host_->end(), url.host_->begin(),
                     [](char c) { return g_ascii_tolower(c); });
    }
  }
  if (const int port = g_uri_get_port(uri.get()); port >= 0) {
    if (!special || special->second != port) url.port_ = port;
  }
  url.path_ = g_uri_get_path(uri.get());
  return url;
}

}  // namespace lumivant
