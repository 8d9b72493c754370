#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "backend/BackendLaunch.h"
#include "base/Url.h"
#include "host/Executor.h"
#include "host/MainQueue.h"
#include "pages/MessagePages.h"

namespace lumivant {

class Backend;

// Where a local start finds what it needs.
struct LocalStartSite {
  std::string python;          // the bundle's interpreter
  std::string logDirectory;    // where backend.log goes
  std::string dataRoot;        // the backend's data root
  std::string stateDirectory;  // the shell's own state, where the kept port lies
  // The bundle declares that its backend takes the listening socket the shell
  // holds (LumivantBackendTakesSocket in Info.json); otherwise it binds its own.
  bool backendTakesSocket = false;
};

// The local backend's start-up: builds, launches and waits for a backend on
// the executor, hands the ready one to the main thread, and reports its later
// end. What follows an end is its owner's choice. Owns the ready backend and
// those still starting, and stops them all when the shell quits; for backends
// that take it, owns the listening socket and the secret that every backend of
// the run is handed (a backend that binds its port itself has a secret of its
// own). Lives in a shared_ptr so that work
// coming back from other threads can hold it weakly.
class LocalStartup : public std::enable_shared_from_this<LocalStartup> {
 public:
  // The background part of a start: build, launch and wait for a backend.
  using Starter =
      std::function<LocalStartOutcome(const LocalStartSite& site, const LocalStartRun& run)>;

  // Without a starter, starts build, launch and wait for real backends.
  LocalStartup(MainQueue& mainQueue, Executor executor, LocalStartSite site, Starter starter = {});

  // The port a backend is about to be started on, known before it is ready:
  // the socket the shell holds listens there.
  std::function<void(uint16_t port)> onListening;
  // The backend is ready: its address.
  std::function<void(const Url& url)> onReady;
  // The start failed: the message page that says why.
  std::function<void(const MessagePage& page)> onFailure;
  // The ready backend ended, with its log's tail; its address is no longer served.
  std::function<void(const BackendEnded& ended)> onExit;

  // Returns at once; the outcome arrives through the hooks on the main thread.
  void start();
  // Stops the ready backend and every one still starting, with their trees.
  // Nothing is reported afterwards.
  void stop();

  // The ready backend, while there is one.
  const std::shared_ptr<Backend>& backend() const { return backend_; }
  // The secret every backend on the held socket answers to; each backend
  // that binds its port itself answers its own (Backend::secret()).
  const std::string& secret() const { return secret_; }

 private:
  void becameReady(const std::shared_ptr<Backend>& ready);
  void exited(ChildExit exit, const std::shared_ptr<Backend>& exited);

  MainQueue& mainQueue_;
  const Executor executor_;
  const LocalStartSite site_;
  const std::shared_ptr<LaunchedBackends> launched_ = std::make_shared<LaunchedBackends>();
  const std::shared_ptr<HeldPortKeeper> heldPort_ = std::make_shared<HeldPortKeeper>();
  const std::string secret_;
  const Starter starter_;
  std::shared_ptr<Backend> backend_;
};

}  // namespace lumivant
