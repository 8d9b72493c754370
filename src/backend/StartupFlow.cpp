// The local start-up flow: start the backend away from the main thread, then
// show its pages or say why not, and react to its later exit.

#include <thread>

#include "app/AppDelegate.h"
#include "app/DataRoot.h"
#include "backend/Backend.h"
#include "orgserver/ServerFile.h"

namespace lumivant {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

AppDelegate::LocalStarter AppDelegate::defaultLocalStarter(
    std::shared_ptr<LaunchedBackends> launched) {
  return [launched](const std::string& python, const std::string& logDirectory,
                    const std::string& dataRoot) {
    return startLocalBackend(python, logDirectory, PortMemory::forDataRoot(dataRoot),
                             kReadinessTimeoutSeconds, launched.get());
  };
}

void AppDelegate::startBackend() {
  if (auto server = organisationServer(dataRoot())) {
    connectTo(*server);
    return;
  }
  const std::string python = joinPath(bundle_.resources, "python/bin/python3");
  const std::string root = dataRoot();
  const std::string logDirectory = joinPath(root, "logs");

  // One worker per start; it blocks for up to the readiness timeout and only
  // ever talks back through the main queue.
  std::thread([weak = weak_from_this(), &queue = mainQueue_, starter = localStarter_, python,
               logDirectory, root] {
    LocalStartOutcome outcome = starter(python, logDirectory, root);
    std::visit(Overloaded{
                   [&](const std::shared_ptr<Backend>& ready) {
                     queue.post([weak, ready, &queue] { backendBecameReady(weak, ready, queue); });
                   },
                   [&](const ShellError& error) {
                     queue.post([weak, error] {
                       if (auto self = weak.lock()) self->showMessage(error.message());
                     });
                   },
                   [&](const StartFailure& failure) {
                     queue.post([weak, failure] {
                       if (auto self = weak.lock())
                         self->showMessage("起不来：" + failure.description);
                     });
                   },
               },
               outcome);
  }).detach();
}

void AppDelegate::backendBecameReady(const std::weak_ptr<AppDelegate>& weak,
                                     const std::shared_ptr<Backend>& ready, MainQueue& queue) {
  if (auto self = weak.lock()) {
    self->backend = ready;
    self->launchedBackends_->release(ready);
    // A shell staged while the backend started takes over now; the recorded
    // backend is stopped when the application terminates.
    if (self->replaceMyselfIfANewerShellIsStaged()) return;
  }
  // The handler holds the Backend strongly so that its log can be read after
  // the child ended; the Backend drops the handler once it has reported.
  ready->setOnExit([weak, ready, &queue](int32_t code) {
    queue.post([weak, code, ready] { backendExited(weak, code, ready); });
  });
  auto self = weak.lock();
  if (!self) return;
  self->loadFirstPage(ready->url());
}

void AppDelegate::backendExited(const std::weak_ptr<AppDelegate>& weak, int32_t code,
                                const std::shared_ptr<Backend>& exited) {
  auto self = weak.lock();
  if (!self) return;
  self->backend.reset();
  if (code == Backend::restartExitCode) {
    self->startBackend();
    return;
  }
  self->showMessage("后端退出了（code " + std::to_string(code) + "）。\n\n" + exited->tailOfLog());
}

}  // namespace lumivant
