#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "backend/LocalStartup.h"
#include "base/RestartBudget.h"
#include "base/Url.h"
#include "host/Executor.h"
#include "host/MainQueue.h"
#include "pages/MessagePages.h"

namespace lumivant {

class Backend;
class ServerConnection;

// The backend's life as the shell sees it. Every start, the first and each
// restart, takes the organisation server that server.json names or else
// starts the local backend. A ready local backend that exits with the restart
// code is started again at once, as long as the restart budget lasts; any
// other end, and a restart over budget, ends on a message page, from which the
// user's restart always goes through. Main thread only.
class BackendSupervisor {
 public:
  using Clock = RestartBudget::Clock;
  // How often a backend may ask to be restarted before the shell stops doing
  // it by itself: the budget's window is the minute its page speaks of.
  static constexpr int kRestartsPerMinute = 5;

  // Without a starter, local starts build, launch and wait for real backends;
  // now is the clock the restart budget is kept by.
  BackendSupervisor(MainQueue& mainQueue, const Executor& executor, std::string dataRoot,
                    LocalStartSite site, LocalStartup::Starter starter = {},
                    std::function<Clock::time_point()> now = Clock::now);
  ~BackendSupervisor();
  BackendSupervisor(const BackendSupervisor&) = delete;
  BackendSupervisor& operator=(const BackendSupervisor&) = delete;

  // A local backend is about to be started on this port, before it is ready.
  std::function<void(uint16_t port)> onBackendListening;
  // A backend or the server answered: the address of its first page.
  std::function<void(const Url& url)> onReady;
  // A start failed or the backend ended for good: the message page to show.
  std::function<void(const MessagePage& page)> onFailure;
  // The ready local backend ended: its address is served by nobody now.
  std::function<void()> onBackendEnded;
  // A start after an ended backend begins: until its outcome the window says so.
  std::function<void()> onRestarting;

  // Starts the backend: the server named in server.json if there is one, else
  // the local one. Returns at once; the outcome comes through the hooks.
  void start();
  void connectTo(const Url& server);
  // The user asked for the backend again. Goes through, with the whole
  // restart budget, unless a backend runs or is on its way.
  void restartForUser();
  // Stops the ready backend and those still starting; nothing is reported afterwards.
  void stop();

  // The ready local backend, while there is one.
  const std::shared_ptr<Backend>& backend() const;
  // The secret every local backend on the held socket answers to (one that
  // binds its port itself answers its own).
  const std::string& backendSecret() const { return localStartup_->secret(); }

 private:
  void ready(const Url& url);
  void failed(const MessagePage& page);
  void ended(const BackendEnded& ended);
  void restart();

  const std::string dataRoot_;
  const std::function<Clock::time_point()> now_;
  const std::shared_ptr<LocalStartup> localStartup_;
  const std::shared_ptr<ServerConnection> serverConnection_;
  RestartBudget restarts_{kRestartsPerMinute, std::chrono::minutes(1)};
  // From a start until its outcome: a second start would race the first.
  bool starting_ = false;
};

}  // namespace lumivant
