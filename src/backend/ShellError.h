#pragma once

#include <cstdint>
#include <string>

namespace lumivant {

// The failures of the local start-up path that the shell tells apart by itself.
// Each carries what the user needs to read; message() is the text of the page.
class ShellError {
 public:
  enum class Kind { backendExited, neverBecameReady, noPort, portTaken };

  static ShellError backendExited(int32_t code, std::string log);
  static ShellError neverBecameReady(std::string log);
  static ShellError noPort();
  // Another program, not the backend, answered on the backend's port.
  static ShellError portTaken(uint16_t port, std::string log);

  Kind kind() const { return kind_; }
  int32_t code() const { return code_; }
  const std::string& log() const { return log_; }
  std::string message() const;

 private:
  ShellError(Kind kind, int32_t code, std::string log)
      : kind_(kind), code_(code), log_(std::move(log)) {}
  Kind kind_;
  int32_t code_;
  std::string log_;
};

}  // namespace lumivant
