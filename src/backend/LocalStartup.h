#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "backend/LocalStart.h"
#include "host/Executor.h"
#include "host/MainQueue.h"

namespace lumivant {

class Backend;

// Where a local start finds what it needs.
struct LocalStartSite {
  std::string python;          // the bundle's interpreter
  std::string logDirectory;    // where backend.log goes
  std::string dataRoot;        // the backend's data root
  std::string stateDirectory;  // the shell's own state, where the kept port lies
};

// The local backend's start-up: builds, launches and waits for a backend on
// the executor, hands the ready one to the main thread, and reports its later
// exit. Owns the ready backend and those still starting, and stops them all
// when the shell quits. Lives in a shared_ptr so that work coming back from
// other threads can hold it weakly.
class LocalStartup : public std::enable_shared_from_this<LocalStartup> {
 public:
  // The background part of a start: build, launch and wait for a backend.
  using Starter = std::function<LocalStartOutcome(const LocalStartSite& site)>;

  // Without a starter, starts build, launch and wait for real backends.
  LocalStartup(MainQueue& mainQueue, Executor executor, LocalStartSite site, Starter starter = {});

  // The backend is ready: its address.
  std::function<void(const std::string& url)> onReady;
  // The start failed, or the ready backend exited other than to be restarted:
  // the message page's text.
  std::function<void(const std::string& text)> onFailure;
  // The ready backend exited with the code; its address is no longer served.
  // Called before onFailure, and alone for the restart code.
  std::function<void(int32_t code)> onExit;

  // Returns at once; the outcome arrives through the hooks on the main thread.
  void start();
  // Stops the ready backend and every one still starting, with their trees.
  // Nothing is reported afterwards.
  void stop();

  // The ready backend, while there is one.
  const std::shared_ptr<Backend>& backend() const { return backend_; }

 private:
  void becameReady(const std::shared_ptr<Backend>& ready);
  void exited(int32_t code, const std::shared_ptr<Backend>& exited);

  MainQueue& mainQueue_;
  const Executor executor_;
  const LocalStartSite site_;
  const std::shared_ptr<LaunchedBackends> launched_ = std::make_shared<LaunchedBackends>();
  const Starter starter_;
  std::shared_ptr<Backend> backend_;
};

}  // namespace lumivant
