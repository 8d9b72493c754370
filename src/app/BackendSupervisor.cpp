#include "app/BackendSupervisor.h"

#include "backend/Backend.h"
#include "orgserver/ServerConnection.h"
#include "orgserver/ServerFile.h"

namespace lumivant {

BackendSupervisor::BackendSupervisor(MainQueue& mainQueue, const Executor& executor,
                                     std::string dataRoot, LocalStartSite site,
                                     LocalStartup::Starter starter,
                                     std::function<Clock::time_point()> now)
    : dataRoot_(std::move(dataRoot)),
      now_(std::move(now)),
      localStartup_(
          std::make_shared<LocalStartup>(mainQueue, executor, std::move(site), std::move(starter))),
      serverConnection_(std::make_shared<ServerConnection>(mainQueue, executor, dataRoot_)) {
  // Both report on the main queue only, and hold themselves weakly there: once
  // this supervisor and they are gone, nothing of theirs runs.
  localStartup_->onListening = [this](uint16_t port) {
    if (onBackendListening) onBackendListening(port);
  };
  localStartup_->onReady = [this](const Url& url) { ready(url); };
  localStartup_->onFailure = [this](const MessagePage& page) { failed(page); };
  localStartup_->onExit = [this](const BackendEnded& end) { ended(end); };
  serverConnection_->onReady = [this](const Url& url) { ready(url); };
  serverConnection_->onFailure = [this](const ServerUnreachable& page) { failed(page); };
}

BackendSupervisor::~BackendSupervisor() = default;

const std::shared_ptr<Backend>& BackendSupervisor::backend() const {
  return localStartup_->backend();
}

void BackendSupervisor::start() {
  starting_ = true;
  // Read afresh at every start: a server.json that came since takes effect.
  if (auto server = organisationServer(dataRoot_)) {
    serverConnection_->connectTo(*server);
    return;
  }
  localStartup_->start();
}

void BackendSupervisor::connectTo(const Url& server) {
  starting_ = true;
  serverConnection_->connectTo(server);
}

void BackendSupervisor::ready(const Url& url) {
  starting_ = false;
  if (onReady) onReady(url);
}

void BackendSupervisor::failed(const MessagePage& page) {
  starting_ = false;
  if (onFailure) onFailure(page);
}

void BackendSupervisor::ended(const BackendEnded& end) {
  if (onBackendEnded) onBackendEnded();
  const bool asksForRestart =
      end.exit.reason == ChildExit::Reason::exit && end.exit.status == Backend::restartExitCode;
  if (!asksForRestart) {
    failed(end);
  } else if (!restarts_.allow(now_())) {
    // A backend that asks again and again would otherwise restart in a loop.
    failed(RestartsExhausted{end.log});
  } else {
    restart();
  }
}

void BackendSupervisor::restartForUser() {
  if (starting_ || backend()) return;
  // The user has read why it stopped: the backend gets its whole budget again.
  restarts_.reset();
  restart();
}

void BackendSupervisor::restart() {
  if (onRestarting) onRestarting();
  start();
}

void BackendSupervisor::stop() { localStartup_->stop(); }

}  // namespace lumivant
