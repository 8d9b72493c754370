#include "app/AppDelegate.h"

#include "app/DataRoot.h"
#include "backend/Backend.h"
#include "base/PathJoin.h"
#include "selfupdate/Declaration.h"
#include "selfupdate/StagedSwap.h"

namespace lumivant {

AppDelegate::AppDelegate(Host& host, MainQueue& mainQueue, Bundle bundle, LocalStarter localStarter)
    : host_(host),
      mainQueue_(mainQueue),
      bundle_(std::move(bundle)),
      localStarter_(localStarter ? std::move(localStarter)
                                 : defaultLocalStarter(launchedBackends_)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
  cleanupOldShellFiles();
  if (replaceMyselfIfANewerShellIsStaged()) return;

  webView = host_.createWebView(*this);
  host_.installMainMenu(shellMainMenu());
  webView->setDrawsBackground(false);
  WindowSettings settings;
  settings.iconPath = joinPath(bundle_.resources, kBundleIconName);
  window = host_.createMainWindow(settings, *webView);
  // Until the first page or a message page shows, the window says it is starting.
  window->showStartingIndicator("正在启动…");
  startingIndicatorShown_ = true;
  host_.activate();

  declareMyself();
  startBackend();
}

void AppDelegate::applicationWillTerminate() {
  if (backend) backend->stop();
  // Backends still starting, or that never became ready, go with the shell too.
  launchedBackends_->stopAll();
}

void AppDelegate::cleanupOldShellFiles() {
  if (bundle_.executable) lumivant::cleanupOldShellFiles(*bundle_.executable);
}

bool AppDelegate::replaceMyselfIfANewerShellIsStaged() {
  const SwapSite site{bundle_.executable.value_or(""), bundle_.directory, bundle_.shortVersion(),
                      dataRoot()};
  const SwapActions actions{
      relaunchBundle,
      [weak = weak_from_this(), &queue = mainQueue_] {
        queue.postAfter(1.0, [weak] {
          if (auto self = weak.lock()) self->host_.terminate();
        });
      },
  };
  return lumivant::replaceMyselfIfANewerShellIsStaged(site, actions);
}

void AppDelegate::declareMyself() {
  if (bundle_.executable) lumivant::declareMyself(*bundle_.executable, dataRoot());
}

}  // namespace lumivant
