#include "app/Url.h"

#include <glib.h>

namespace lumivant {

std::optional<Url> Url::parse(std::string_view text) {
  const std::string owned(text);
  GError* error = nullptr;
  GUri* uri = g_uri_parse(owned.c_str(), static_cast<GUriFlags>(G_URI_FLAGS_ENCODED | G_URI_FLAGS_NON_DNS), &error);
  if (!uri) {
    g_clear_error(&error);
    return std::nullopt;
  }
  Url url;
  url.text_ = owned;
  // GLib lower-cases the scheme; the shell compares it as written.
  url.scheme_ = owned.substr(0, owned.find(':'));
  if (const char* host = g_uri_get_host(uri); host && *host) url.host_ = host;
  if (const int port = g_uri_get_port(uri); port >= 0) url.port_ = port;
  url.path_ = g_uri_get_path(uri);
  g_uri_unref(uri);
  return url;
}

}  // namespace lumivant
