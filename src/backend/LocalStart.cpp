#include "backend/LocalStart.h"

#include "backend/PlatformError.h"

namespace lumivant {

LocalStartOutcome startLocalBackend(const std::string& python, const std::string& logDirectory,
                                    const PortMemory& ports, double readinessTimeoutSeconds) {
  std::shared_ptr<Backend> backend;
  try {
    const std::optional<uint16_t> kept = ports.recall();
    backend = std::make_shared<Backend>(python, logDirectory, kept);
    if (backend->port() != kept) ports.remember(backend->port());
    backend->start();
  } catch (const ShellError& error) {
    return error;
  } catch (const std::exception& error) {
    // A backend built but not launched is released here, with nothing to stop.
    return StartFailure{error.what()};
  }
  if (auto failure = backend->waitUntilReady(readinessTimeoutSeconds)) return *failure;
  return backend;
}

}  // namespace lumivant
