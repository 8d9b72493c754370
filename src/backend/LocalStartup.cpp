#include "backend/LocalStartup.h"

#include "backend/Backend.h"
#include "backend/BackendSecret.h"
#include "backend/PortMemory.h"
#include "base/Overloaded.h"

namespace lumivant {

namespace {

PortMemory portsOf(const LocalStartSite& site) {
  return PortMemory(portMemoryFile(site.stateDirectory), site.dataRoot);
}

LocalStartup::Starter realStarter(const std::shared_ptr<LaunchedBackends>& launched) {
  return [launched](const LocalStartSite& site, const LocalStartRun& run) {
    return startLocalBackend(site.python, site.logDirectory, portsOf(site), run,
                             kReadinessTimeoutSeconds, launched.get());
  };
}

}  // namespace

LocalStartup::LocalStartup(MainQueue& mainQueue, Executor executor, LocalStartSite site,
                           Starter starter)
    : mainQueue_(mainQueue),
      executor_(std::move(executor)),
      site_(std::move(site)),
      secret_(makeBackendSecret()),
      starter_(starter ? std::move(starter) : realStarter(launched_)) {}

void LocalStartup::start() {
  // The start blocks for up to the readiness time-out and only ever talks back
  // through the main queue.
  executor_([weak = weak_from_this(), &queue = mainQueue_, starter = starter_, site = site_,
             heldPort = heldPort_, secret = secret_] {
    const auto report = [&](std::function<void(LocalStartup&)> step) {
      queue.post([weak, step = std::move(step)] {
        if (auto self = weak.lock()) step(*self);
      });
    };
    // A backend that binds its own port answers a secret of its own (made by
    // the Backend): its port may be another program's once it ended, and a
    // page of it that still calls there must find nothing the next backend
    // answers to. A held socket never leaves the shell, so the run's secret
    // serves every backend on it.
    LocalStartRun run{site.backendTakesSocket ? secret : std::string(), nullptr};
    if (site.backendTakesSocket) {
      run.heldPort = heldPort->acquire(portsOf(site));
      if (!run.heldPort) {
        report([page = ShellError::noPort().page()](LocalStartup& self) {
          if (self.onFailure) self.onFailure(page);
        });
        return;
      }
      // Known long before the backend is ready: what waits for the port can begin.
      report([port = run.heldPort->port()](LocalStartup& self) {
        if (self.onListening) self.onListening(port);
      });
    }
    const LocalStartOutcome outcome = starter(site, run);
    std::visit(Overloaded{
                   [&](const std::shared_ptr<Backend>& ready) {
                     // A backend whose startup is gone by now is stopped with the others
                     // it launched; the one handed over here goes with the closure.
                     report([ready](LocalStartup& self) { self.becameReady(ready); });
                   },
                   [&](const ShellError& error) {
                     report([page = error.page()](LocalStartup& self) {
                       if (self.onFailure) self.onFailure(page);
                     });
                   },
                   [&](const StartFailure& failure) {
                     report([page = MessagePage(BackendLaunchFailed{failure.description})](
                                LocalStartup& self) {
                       if (self.onFailure) self.onFailure(page);
                     });
                   },
               },
               outcome);
  });
}

void LocalStartup::becameReady(const std::shared_ptr<Backend>& ready) {
  launched_->release(ready);
  // Checked again right before its page loads: another program may have
  // taken the port since the wait ended. (With nobody there, the load fails
  // on its own, and shows nothing of anybody's.)
  if (ready->portHolder() == PortHolder::other) {
    ready->stop();
    if (onFailure) onFailure(PortTakenByAnother{ready->port(), ready->tailOfLog()});
    return;
  }
  backend_ = ready;
  // The handler holds the Backend strongly so that its log can be read after
  // the child ended; the Backend drops the handler once it has reported.
  ready->setOnExit([weak = weak_from_this(), ready, &queue = mainQueue_](ChildExit exit) {
    queue.post([weak, exit, ready] {
      if (auto self = weak.lock()) self->exited(exit, ready);
    });
  });
  if (onReady) onReady(ready->url());
}

void LocalStartup::exited(ChildExit exit, const std::shared_ptr<Backend>& exited) {
  if (exited != backend_) return;
  backend_.reset();
  if (onExit) onExit(BackendEnded{exit, exited->tailOfLog()});
}

void LocalStartup::stop() {
  if (backend_) backend_->stop();
  // Backends still starting, or that never became ready, go with the shell too.
  launched_->stopAll();
}

}  // namespace lumivant
