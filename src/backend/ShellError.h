#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pages/MessagePages.h"

namespace lumivant {

// The failures of the local start-up path that the shell tells apart by itself.
// Each carries what the user needs to read: page() is the message page that
// says so, and message() its text.
class ShellError {
 public:
  enum class Kind { backendExited, neverBecameReady, noPort, portTaken };

  static ShellError backendExited(int32_t code, std::string log);
  // lastProbe is absent when the wait ran out before any probe was made.
  static ShellError neverBecameReady(std::string log, std::optional<LastProbe> lastProbe = {});
  static ShellError noPort();
  // Another program, not the backend, answered on the backend's port.
  static ShellError portTaken(uint16_t port, std::string log);

  Kind kind() const { return kind_; }
  int32_t code() const { return code_; }
  const std::string& log() const { return log_; }
  const std::optional<LastProbe>& lastProbe() const { return lastProbe_; }
  MessagePage page() const;
  std::string message() const { return messageText(page()); }

 private:
  ShellError(Kind kind, int32_t code, std::string log, std::optional<LastProbe> lastProbe = {})
      : kind_(kind), code_(code), log_(std::move(log)), lastProbe_(std::move(lastProbe)) {}
  Kind kind_;
  int32_t code_;
  std::string log_;
  std::optional<LastProbe> lastProbe_;
};

}  // namespace lumivant
