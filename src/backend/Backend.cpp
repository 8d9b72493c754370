#include "backend/Backend.h"

#include "backend/PlatformError.h"

namespace lumivant {

// Placeholder until the child-process supervisor lands: construction fails.
struct Backend::Child {};

Backend::Backend(std::string python, std::string logDirectory) : python_(std::move(python)) {
  (void)logDirectory;
  throw PlatformError("后端尚未实现");
}
Backend::~Backend() = default;
std::string Backend::url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
void Backend::start() {}
void Backend::stop() {}
void Backend::setOnExit(std::function<void(int32_t)>) {}
std::optional<ShellError> Backend::waitUntilReady(double) { return ShellError::neverBecameReady(""); }
std::string Backend::tailOfLog() const { return {}; }

}  // namespace lumivant
