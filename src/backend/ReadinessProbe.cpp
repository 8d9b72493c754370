#include "backend/ReadinessProbe.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumivant {

namespace {

template <class T>
struct GObjectUnref {
  void operator()(T* object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, GObjectUnref<T>>;

bool isLoopback(GUri* uri) {
  const char* host = g_uri_get_host(uri);
  if (!host) return false;
  const std::string name = host;
  return name == "127.0.0.1" || name == "localhost" || name == "::1" || name == "[::1]";
}

}  // namespace

std::string describeProbeAnswer(const ProbeResult& result) {
  if (result.status) return "HTTP " + std::to_string(*result.status);
  return result.transportError;
}

ProbeResult probeReadiness(const std::string& url, double timeoutSeconds,
                           const std::string& cookie) {
  ProbeResult result;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GUri) uri = g_uri_parse(url.c_str(), GUriFlags(SOUP_HTTP_URI_FLAGS), &error);
  if (!uri) {
    result.transportError = error->message;
    return result;
  }
  // A session of its own: the probe runs on whatever worker thread asked, and
  // a session belongs to the thread that made it. Its time-out covers the
  // connection and each read, in whole seconds.
  const auto seconds = static_cast<guint>(std::max(1.0, std::ceil(timeoutSeconds)));
  Owned<SoupSession> session(soup_session_new_with_options("timeout", seconds, nullptr));
  // A proxy (from the environment or the desktop's settings) must never
  // answer for the shell's own loopback backend; other servers are reached
  // the way the web view reaches them.
  if (isLoopback(uri)) soup_session_set_proxy_resolver(session.get(), nullptr);
  Owned<SoupMessage> message(soup_message_new_from_uri(SOUP_METHOD_GET, uri));
  if (!cookie.empty()) {
    soup_message_headers_append(soup_message_get_request_headers(message.get()), "Cookie",
                                cookie.c_str());
  }
  // The body is read and dropped: a readiness answer says all in its status.
  g_autoptr(GBytes) body =
      soup_session_send_and_read(session.get(), message.get(), nullptr, &error);
  if (!body) {
    result.transportError = error->message;
    return result;
  }
  if (const guint status = soup_message_get_status(message.get()); status > 0) {
    result.status = static_cast<long>(status);
  }
  return result;
}

}  // namespace lumivant
