#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "base/UniqueFd.h"

namespace lumivant {

// The backend's listening socket on 127.0.0.1, which the shell binds itself,
// holds for the whole run and hands to every backend it starts, so that the
// port is never free while the shell runs: no other program can take it
// between two backends, and the web view's origin never moves. Connections
// that arrive while no backend runs wait in its queue for the next one.
//
// While it listens the kernel refuses every other bind that a connection to
// 127.0.0.1 on its port would reach (127.0.0.1, 0.0.0.0, a :: that takes
// IPv4), whoever asks; only SO_REUSEPORT shares a listening port, and it is
// never set here.
class HeldPort {
 public:
  // Listens on the kept port while it can be had, else on a fresh one of the
  // kernel's choice; nothing when neither can.
  static std::unique_ptr<HeldPort> listen(std::optional<uint16_t> kept);

  HeldPort(UniqueFd socket, uint16_t port) : socket_(std::move(socket)), port_(port) {}

  uint16_t port() const { return port_; }
  // The listening socket, close-on-exec: a child gets it only as it is handed down.
  int descriptor() const { return socket_.get(); }

 private:
  UniqueFd socket_;
  uint16_t port_;
};

// Listens on 127.0.0.1:port (a fresh port for 0); an empty descriptor when the
// port is taken or cannot be bound.
UniqueFd listenOnLoopback(uint16_t port);

}  // namespace lumivant
