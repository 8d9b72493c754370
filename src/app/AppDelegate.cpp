#include "app/AppDelegate.h"

#include "app/DataRoot.h"
#include "app/ShellState.h"
#include "app/WebsiteData.h"
#include "backend/Backend.h"
#include "base/PathJoin.h"
#include "browser/Downloads.h"
#include "browser/Navigation.h"
#include "browser/PageLifecycle.h"
#include "browser/QuitQuestions.h"
#include "browser/ScriptDialogs.h"
#include "browser/ViewCommands.h"
#include "host/MainMenu.h"
#include "orgserver/ServerConnection.h"
#include "orgserver/ServerFile.h"

namespace lumivant {

namespace {

LocalStartSite localStartSite(const Bundle& bundle, const std::string& root) {
  return LocalStartSite{joinPath(bundle.resources, "python/bin/python3"), joinPath(root, "logs"),
                        root, shellStateDirectory()};
}

Executor orDetachedThreads(Executor executor) {
  return executor ? std::move(executor) : detachedThreadExecutor();
}

}  // namespace

AppDelegate::AppDelegate(Host& host, MainQueue& mainQueue, const Bundle& bundle, Seams seams)
    : host_(host),
      mainQueue_(mainQueue),
      dataRoot_(dataRoot()),
      shellUpdate_(bundle, dataRoot_, mainQueue, orDetachedThreads(seams.executor),
                   std::move(seams.relaunch)),
      localStartup_(std::make_shared<LocalStartup>(mainQueue, orDetachedThreads(seams.executor),
                                                   localStartSite(bundle, dataRoot_),
                                                   std::move(seams.localStarter))),
      serverConnection_(std::make_shared<ServerConnection>(
          mainQueue, orDetachedThreads(seams.executor), dataRoot_)) {
  // The new shell said it started: this one ends, through the host's normal way out.
  shellUpdate_.onSwapped = [this] { host_.terminate(); };
  wireStartups();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::wireStartups() {
  localStartup_->onReady = [this](const std::string& url) {
    // A shell staged while the backend started takes over now; the ready
    // backend is stopped when the application terminates.
    if (replaceMyselfIfANewerShellIsStaged([this, url] { pageReady(url); })) return;
    pageReady(url);
  };
  localStartup_->onFailure = [this](const std::string& text) { startupFailed(text); };
  localStartup_->onExit = [this](int32_t code) {
    // The backend's address stays the app's own: the kept port brings a
    // restarted backend back on it, and nothing on it goes to the system.
    if (navigation_) navigation_->baseStoppedServing();
    if (viewCommands_) viewCommands_->refresh();
    if (code != Backend::restartExitCode) return;
    if (pages_) pages_->showStartingIndicator();
    // The restart makes the choice afresh: server.json may have come since.
    startBackend();
  };
  serverConnection_->onReady = [this](const std::string& url) { pageReady(url); };
  serverConnection_->onFailure = [this](const std::string& text) { startupFailed(text); };
}

void AppDelegate::applicationDidFinishLaunching() {
  cleanupOldShellFiles();
  if (replaceMyselfIfANewerShellIsStaged([this] { showWindowAndStart(); })) return;
  showWindowAndStart();
}

void AppDelegate::showWindowAndStart() {
  buildWindow();
  host_.activate();
  // A shell relaunched by a swap first says that it started, and goes on once
  // the shell it replaces has gone.
  shellUpdate_.confirmStart([this] {
    declareMyself();
    startBackend();
  });
}

void AppDelegate::buildWindow() {
  webView_ = host_.createWebView(*this, websiteDataStoreFor(dataRoot_));
  host_.installMainMenu(shellMainMenu());
  webView_->setDrawsBackground(false);
  WindowSettings settings;
  settings.iconPath = joinPath(shellUpdate_.bundle().resources, kBundleIconName);
  window_ = host_.createMainWindow(settings, *webView_);

  pages_ = std::make_shared<PageLifecycle>(*window_, *webView_, mainQueue_);
  navigation_ = std::make_unique<Navigation>(host_, *webView_, *window_);
  navigation_->onRefused = [this](const std::string& target) { pages_->navigationRefused(target); };
  downloads_ = std::make_unique<Downloads>(*window_);
  dialogs_ = std::make_unique<ScriptDialogs>(*window_);
  quitQuestions_ = std::make_shared<QuitQuestions>(*window_, *webView_, mainQueue_);
  quitQuestions_->downloadsRunning = [this] { return downloads_->anyInFlight(); };
  pages_->isAppAddress = [this](const std::string& url) { return navigation_->isAppAddress(url); };
  viewCommands_ = std::make_unique<ViewCommands>(host_, *window_, *webView_, *pages_,
                                                 ZoomMemory(shellStateDirectory(), dataRoot_));
  viewCommands_->mayGoTo = [this](const std::string& url) {
    return navigation_->isAppAddress(url);
  };
  pages_->onChanged = [this] { viewCommands_->refresh(); };
  viewCommands_->applyZoom();
  viewCommands_->refresh();
  // Until the first page or a message page shows, the window says it is starting.
  pages_->showStartingIndicator();
}

void AppDelegate::applicationShouldTerminate(std::function<void(bool quit)> reply) {
  if (!quitQuestions_) return reply(true);
  quitQuestions_->ask(std::move(reply));
}

void AppDelegate::applicationWillTerminate() {
  // Nothing of an unfinished download stays behind, whoever ended the shell.
  if (downloads_) downloads_->cancelAll();
  localStartup_->stop();
  shellUpdate_.finishDeclaration();
}

void AppDelegate::performMenuAction(MenuAction action) {
  if (viewCommands_) viewCommands_->perform(action);
}

bool AppDelegate::replaceMyselfIfANewerShellIsStaged(std::function<void()> ifTheNewShellFails) {
  if (!shellUpdate_.replaceMyselfIfANewerShellIsStaged(
          [this, goOn = std::move(ifTheNewShellFails)] {
            leaving_ = false;
            goOn();
          }))
    return false;
  leaving_ = true;
  return true;
}

void AppDelegate::startBackend() {
  if (auto server = organisationServer(dataRoot_)) {
    connectTo(*server);
    return;
  }
  localStartup_->start();
}

void AppDelegate::connectTo(const Url& server) { serverConnection_->connectTo(server); }

void AppDelegate::showMessage(const std::string& message) {
  if (pages_) pages_->show(PageKind::startupFailure, message);
}

void AppDelegate::pageReady(const std::string& url) {
  if (leaving_ || !pages_) return;
  navigation_->setBase(Url::parse(url));
  // A backend that restarted is shown at the zoom the user chose, as at launch.
  viewCommands_->applyZoom();
  pages_->show(PageKind::app, url);
}

void AppDelegate::startupFailed(const std::string& text) {
  if (leaving_) return;
  showMessage(text);
}

std::optional<Url> AppDelegate::localityBase() const {
  return navigation_ ? navigation_->base() : std::nullopt;
}

NavigationActionPolicy AppDelegate::decidePolicyForNavigationAction(
    const NavigationAction& action) {
  return navigation_->decideAction(action);
}

NavigationResponsePolicy AppDelegate::decidePolicyForNavigationResponse(
    const NavigationResponse& response) {
  return navigation_->decideResponse(response);
}

bool AppDelegate::createWebViewFor(const NavigationAction& action) {
  return navigation_->createWebViewFor(action);
}

void AppDelegate::openedWindowNavigation(const NavigationAction& action) {
  navigation_->openedWindowNavigation(action);
}

void AppDelegate::decideDownloadDestination(
    const std::string& suggestedFilename, bool byUserGesture,
    std::function<void(std::optional<std::string>)> completion) {
  downloads_->decideDestination(suggestedFilename, byUserGesture, std::move(completion));
}

void AppDelegate::downloadDidFail(DownloadId id, const DownloadError& error) {
  downloads_->didFail(id, error);
}

void AppDelegate::downloadDidBegin(DownloadId id, const std::string& destinationPath,
                                   std::function<void()> cancel) {
  downloads_->didBegin(id, destinationPath, std::move(cancel));
}

void AppDelegate::downloadDidReceiveData(DownloadId id, uint64_t receivedBytes,
                                         uint64_t expectedBytes) {
  downloads_->didReceiveData(id, receivedBytes, expectedBytes);
}

void AppDelegate::downloadDidEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  downloads_->didEnd(id, receivedBytes, expectedBytes);
}

void AppDelegate::runJavaScriptAlert(const std::string& message, std::function<void()> completion) {
  dialogs_->runJavaScriptAlert(message, std::move(completion));
}

void AppDelegate::runJavaScriptConfirm(const std::string& message,
                                       std::function<void(bool)> completion) {
  dialogs_->runJavaScriptConfirm(message, std::move(completion));
}

void AppDelegate::runJavaScriptTextInput(
    const std::string& message, const std::string& defaultText,
    std::function<void(std::optional<std::string>)> completion) {
  dialogs_->runJavaScriptTextInput(message, defaultText, std::move(completion));
}

void AppDelegate::runBeforeUnloadConfirm(std::function<void(bool leave)> completion) {
  dialogs_->runBeforeUnloadConfirm(quitQuestions_->pageQuestion(std::move(completion)));
}

void AppDelegate::runOpenPanel(
    const OpenPanelParameters& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
  dialogs_->runOpenPanel(parameters, std::move(completion));
}

void AppDelegate::didFinishNavigation() { pages_->didFinish(); }

void AppDelegate::didCommitNavigation(const std::string& url) {
  pages_->didCommit(url);
  downloads_->pageChanged();
}

void AppDelegate::didFailNavigation(const NavigationFailure& failure) { pages_->didFail(failure); }

void AppDelegate::webContentProcessDidTerminate() { pages_->webContentProcessDidTerminate(); }

void AppDelegate::backForwardListDidChange() { viewCommands_->refresh(); }

}  // namespace lumivant
