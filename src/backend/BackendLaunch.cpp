#include "backend/BackendLaunch.h"

#include "backend/PlatformError.h"

namespace lumivant {

bool LaunchedBackends::admit(const std::shared_ptr<Backend>& backend) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  // Those that ended, with what they left behind, need no stopping any more.
  std::erase_if(backends_, [](const auto& known) { return known->hasEnded(); });
  backends_.push_back(backend);
  return true;
}

void LaunchedBackends::release(const std::shared_ptr<Backend>& backend) {
  std::lock_guard lock(mutex_);
  std::erase(backends_, backend);
}

void LaunchedBackends::stopAll() {
  std::vector<std::shared_ptr<Backend>> stopping;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    stopping.swap(backends_);
  }
  for (const auto& backend : stopping) backend->stop();
}

LocalStartOutcome startLocalBackend(const std::string& python, const std::string& logDirectory,
                                    const PortMemory& ports, double readinessTimeoutSeconds,
                                    LaunchedBackends* launched) {
  std::shared_ptr<Backend> backend;
  try {
    const std::optional<uint16_t> kept = ports.recall();
    backend = std::make_shared<Backend>(python, logDirectory, kept);
    // The kept port stays the preferred one: a launch that found it taken
    // runs elsewhere this once and tries it again next time.
    if (!kept) ports.remember(backend->port());
    // A backend recorded here and stopped before its launch is never launched.
    if (launched && !launched->admit(backend)) backend->stop();
    backend->start();
  } catch (const ShellError& error) {
    return error;
  } catch (const std::exception& error) {
    // A backend built but not launched is released here, with nothing to stop.
    if (launched && backend) launched->release(backend);
    return StartFailure{error.what()};
  }
  if (auto failure = backend->waitUntilReady(readinessTimeoutSeconds)) {
    if (failure->kind() == ShellError::Kind::portTaken) {
      // It would only fail to bind, or serve beside another program.
      backend->stop();
      if (launched) launched->release(backend);
    }
    return *failure;
  }
  return backend;
}

}  // namespace lumivant
