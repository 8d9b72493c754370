#pragma once

#include <libsoup/soup.h>

#include <map>
#include <string>
#include <vector>

namespace lumivant::testing {

// An HTTP server on 127.0.0.1 on the default main context, answering the
// routes a test gives it and 404 otherwise, and recording every request path.
class TestServer {
 public:
  struct Response {
    std::string contentType;
    std::string body;
    std::map<std::string, std::string> headers;
  };

  TestServer() {
    server_ = soup_server_new(nullptr, nullptr);
    soup_server_add_handler(server_, nullptr, handle, this, nullptr);
    GError* error = nullptr;
    soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error);
    if (error) g_error("test server: %s", error->message);
    GSList* uris = soup_server_get_uris(server_);
    port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  }
  ~TestServer() {
    soup_server_disconnect(server_);
    g_object_unref(server_);
  }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  void route(const std::string& path, Response response) { routes_[path] = std::move(response); }
  // "http://127.0.0.1:PORT" followed by path, which starts with a slash.
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }
  const std::vector<std::string>& requests() const { return requests_; }

 private:
  static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                     gpointer self) {
    auto* server = static_cast<TestServer*>(self);
    server->requests_.push_back(path);
    const auto route = server->routes_.find(path);
    if (route == server->routes_.end()) {
      soup_server_message_set_status(message, 404, nullptr);
      return;
    }
    const Response& response = route->second;
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : response.headers) {
      soup_message_headers_append(headers, name.c_str(), value.c_str());
    }
    soup_server_message_set_response(message, response.contentType.c_str(), SOUP_MEMORY_COPY,
                                     response.body.data(), response.body.size());
    soup_server_message_set_status(message, 200, nullptr);
  }

  SoupServer* server_ = nullptr;
  int port_ = 0;
  std::map<std::string, Response> routes_;
  std::vector<std::string> requests_;
};

}  // namespace lumivant::testing
