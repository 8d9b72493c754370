#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lumivant::testing {

// A real HTTP/1.1 server on 127.0.0.1 that answers canned responses by request
// path and records every request target it receives, in order. One connection
// at a time, each closed after its answer. Paths without a canned response get
// 404. Stops and joins its thread when it goes.
class TestHttpServer {
 public:
  struct Response {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
  };

  TestHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
      ::close(listener_);
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }

  ~TestHttpServer() {
    const char byte = 0;
    (void)!::write(wake_[1], &byte, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
  }
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  void answer(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
  }
  void answer(const std::string& path, int status) { answer(path, Response{status, {}, {}}); }
  void redirect(const std::string& path, const std::string& location, int status = 302) {
    answer(path, Response{status, {{"Location", location}}, {}});
  }

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" with no path.
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

  std::vector<std::string> requestedPaths() const {
    std::lock_guard lock(mutex_);
    return requested_;
  }

 private:
  void serve() {
    for (;;) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      handle(connection);
      ::close(connection);
    }
  }

  void handle(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd fd{connection, POLLIN, 0};
      if (::poll(&fd, 1, 5000) <= 0) return;
      const ssize_t count = ::read(connection, buffer, sizeof buffer);
      if (count <= 0) return;
      request.append(buffer, static_cast<size_t>(count));
    }
    // "GET /path HTTP/1.1"
    const size_t start = request.find(' ');
    const size_t end = request.find(' ', start + 1);
    if (start == std::string::npos || end == std::string::npos) return;
    const std::string path = request.substr(start + 1, end - start - 1);
    Response response{404, {}, {}};
    {
      std::lock_guard lock(mutex_);
      requested_.push_back(path);
      if (auto it = responses_.find(path); it != responses_.end()) response = it->second;
    }
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\n";
    for (const auto& [name, value] : response.headers)
      text.append(name).append(": ").append(value).append("\r\n");
    // A 204 carries no body and so no length.
    if (response.status != 204)
      text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n" + response.body;
    for (size_t sent = 0; sent < text.size();) {
      const ssize_t count =
          ::send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (count <= 0) return;
      sent += static_cast<size_t>(count);
    }
  }

  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::string, Response> responses_;
  std::vector<std::string> requested_;
};

// A port of 127.0.0.1 that refuses connections: bound, so that nobody else
// takes it while the object lives, but never listening.
class ClosedPort {
 public:
  ClosedPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot bind a port on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
  }
  ~ClosedPort() { ::close(fd_); }
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;

  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace lumivant::testing
