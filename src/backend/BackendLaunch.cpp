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

std::shared_ptr<const HeldPort> HeldPortKeeper::acquire(const PortMemory& ports) {
  std::lock_guard lock(mutex_);
  if (held_) return held_;
  const std::optional<uint16_t> kept = ports.recall();
  held_ = HeldPort::listen(kept);
  // The kept port stays the preferred one: a run that found it taken runs
  // elsewhere this once and tries it again next time.
  if (held_ && !kept) ports.remember(held_->port());
  return held_;
}

LocalStartOutcome startLocalBackend(const std::string& python, const std::string& logDirectory,
                                    const PortMemory& ports, const LocalStartRun& run,
                                    double readinessTimeoutSeconds, LaunchedBackends* launched) {
  std::shared_ptr<Backend> backend;
  try {
    if (run.heldPort) {
      backend = std::make_shared<Backend>(python, logDirectory,
                                          BackendSetup{run.heldPort, std::nullopt, run.secret});
    } else {
      const std::optional<uint16_t> kept = ports.recall();
      backend =
          std::make_shared<Backend>(python, logDirectory, BackendSetup{nullptr, kept, run.secret});
      // As for the held port: a launch that found the kept port taken runs
      // elsewhere this once.
      if (!kept) ports.remember(backend->port());
    }
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
