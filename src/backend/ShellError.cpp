#include "backend/ShellError.h"

namespace lumivant {

ShellError ShellError::backendExited(int32_t code, std::string log) {
  return ShellError(Kind::backendExited, code, std::move(log));
}

ShellError ShellError::neverBecameReady(std::string log, std::optional<LastProbe> lastProbe) {
  return ShellError(Kind::neverBecameReady, 0, std::move(log), std::move(lastProbe));
}

ShellError ShellError::noPort() { return ShellError(Kind::noPort, 0, {}); }

ShellError ShellError::portTaken(uint16_t port, std::string log) {
  return ShellError(Kind::portTaken, port, std::move(log));
}

MessagePage ShellError::page() const {
  switch (kind_) {
    case Kind::backendExited:
      return BackendExitedBeforeReady{code_, log_};
    case Kind::neverBecameReady:
      return BackendNeverReady{log_, lastProbe_};
    case Kind::noPort:
      return NoFreePort{};
    case Kind::portTaken:
      return PortTakenByAnother{static_cast<uint16_t>(code_), log_};
  }
  return NoFreePort{};
}

}  // namespace lumivant
