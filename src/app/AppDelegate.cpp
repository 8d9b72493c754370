#include "app/AppDelegate.h"

#include <cstdlib>

#include "app/AuthorTools.h"
#include "app/DataRoot.h"
#include "app/Launch.h"
#include "app/ShellState.h"
#include "app/WebsiteData.h"
#include "backend/Backend.h"
#include "backend/BackendSecret.h"
#include "base/PathJoin.h"
#include "browser/Downloads.h"
#include "browser/DownloadsWatch.h"
#include "browser/Navigation.h"
#include "browser/PageLifecycle.h"
#include "browser/PagePermissions.h"
#include "browser/QuitQuestions.h"
#include "browser/ScriptDialogs.h"
#include "browser/ViewCommands.h"
#include "browser/ViewConfinement.h"
#include "host/MainMenu.h"
#include "selfupdate/StartConfirmation.h"

namespace lumivant {

namespace {

LocalStartSite localStartSite(const Bundle& bundle, const std::string& root) {
  return LocalStartSite{joinPath(bundle.resources, "python/bin/python3"), joinPath(root, "logs"),
                        root, shellStateDirectory(), bundle.backendTakesSocket()};
}

// The name the desktop shows the app's notifications under: the bundle's own.
std::string applicationName(const Bundle& bundle) {
  const nlohmann::json& info = bundle.info;
  if (info.is_object() && info.contains("CFBundleName") && info["CFBundleName"].is_string()) {
    std::string name = info["CFBundleName"].get<std::string>();
    if (!name.empty()) return name;
  }
  return "Lumivant";
}

Executor orDetachedThreads(Executor executor) {
  return executor ? std::move(executor) : detachedThreadExecutor();
}

// How long a shell whose place another launch took stays, so that it can end
// its own work first.
constexpr double kReplacedShellLeaveSeconds = 1.0;

}  // namespace

AppDelegate::AppDelegate(Host& host, MainQueue& mainQueue, const Bundle& bundle, Starters starters)
    : host_(host),
      mainQueue_(mainQueue),
      dataRoot_(dataRoot()),
      shellUpdate_(bundle, dataRoot_, swapLedgerFile(), mainQueue, orDetachedThreads(starters.work),
                   std::move(starters.newShell)),
      supervisor_(mainQueue, orDetachedThreads(starters.work), dataRoot_,
                  localStartSite(bundle, dataRoot_), std::move(starters.backend)) {
  // The new shell said it started: this one ends, through the host's normal way out.
  shellUpdate_.onSwapped = [this] { host_.terminate(); };
  // The new shell did not start and this one stays: later launches are to find it.
  shellUpdate_.onRolledBack = [this] { host_.reclaimInstance(); };
  wireStartups();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::wireStartups() {
  supervisor_.onReady = [this](const Url& url) {
    // A shell staged while the backend started takes over now; the ready
    // backend is stopped when the application terminates. (Only a local
    // backend is checked for: a server's answer is shown at once.)
    if (supervisor_.backend() &&
        replaceMyselfIfANewerShellIsStaged([this, url] { pageReady(url); }))
      return;
    pageReady(url);
  };
  supervisor_.onBackendListening = [this](uint16_t port) {
    // Under way while the backend starts, so that its first page waits for little.
    if (confinement_) confinement_->prepare(port, supervisor_.backendSecret());
  };
  supervisor_.onFailure = [this](const MessagePage& page) { startupFailed(page); };
  supervisor_.onBackendEnded = [this] {
    // The backend's address stays the app's own: the kept port brings a
    // restarted backend back on it, and nothing on it goes to the system.
    if (navigation_) navigation_->baseStoppedServing();
    // A port the backend bound itself is free now for any program, which the
    // page's calls and the secret must not reach. (A held socket stays the
    // shell's own.)
    if (confinement_ && !shellUpdate_.bundle().backendTakesSocket()) confinement_->withdraw();
    if (viewCommands_) viewCommands_->refresh();
  };
  supervisor_.onRestarting = [this] {
    if (pages_) pages_->showStartingIndicator();
  };
}

LaunchOutcome AppDelegate::launch(const std::vector<std::string>& arguments) {
  developerTools_ = developerToolsRequested(arguments, std::getenv(kDeveloperToolsVariable));
  Launch launch(host_, shellUpdate_.bundle().executable, shellUpdate_.probation(),
                applicationIdForDataRoot(dataRoot_));
  LaunchOutcome outcome = launch.run(arguments);
  if (outcome.action != LaunchOutcome::Action::run) return outcome;
  if (auto confirmation = launch.takeStartConfirmation())
    shellUpdate_.relaunchedBySwap(std::move(confirmation));
  applicationDidFinishLaunching();
  return outcome;
}

void AppDelegate::applicationDidFinishLaunching() {
  shellUpdate_.cleanupOldShellFiles();
  if (replaceMyselfIfANewerShellIsStaged([this] { showWindowAndStart(); })) return;
  showWindowAndStart();
}

void AppDelegate::showWindowAndStart() {
  buildWindow();
  host_.activate();
  shellUpdate_.probation().windowShown();
  // A shell relaunched by a swap first tells the shell that relaunched it that
  // it started, and goes on once that shell has gone.
  shellUpdate_.confirmStart([this] {
    shellUpdate_.declareMyself();
    supervisor_.start();
  });
}

void AppDelegate::buildWindow() {
  webView_ = host_.createWebView(websiteDataStoreFor(dataRoot_));
  host_.installMainMenu(developerTools_ ? withDeveloperToolsItem(shellMainMenu())
                                        : shellMainMenu());
  if (developerTools_) webView_->enableDeveloperTools();
  webView_->setDrawsBackground(false);
  WindowSettings settings;
  settings.iconPath = joinPath(shellUpdate_.bundle().resources, kBundleIconName);
  window_ = host_.createMainWindow(settings, *webView_);

  confinement_ = std::make_unique<ViewConfinement>(*webView_, kBackendSecretCookie);
  pages_ = std::make_shared<PageLifecycle>(*window_, *webView_, mainQueue_,
                                           MessagePageTemplate(host_.messagePageTemplate()));
  navigation_ = std::make_unique<Navigation>(host_, *webView_, *window_);
  downloads_ = std::make_unique<Downloads>(*window_);
  dialogs_ = std::make_unique<ScriptDialogs>(*window_);
  quitQuestions_ = std::make_shared<QuitQuestions>(*window_, *webView_, mainQueue_);
  viewCommands_ = std::make_unique<ViewCommands>(host_, *window_, *webView_,
                                                 ZoomMemory(shellStateDirectory(), dataRoot_));
  permissions_ = std::make_unique<PagePermissions>(
      host_, *window_, PermissionMemory(shellStateDirectory(), dataRoot_),
      DesktopNotification{applicationName(shellUpdate_.bundle()), settings.iconPath, {}, {}});

  navigation_->onRefused = [this](const std::string& target) { pages_->navigationRefused(target); };
  pages_->isAppAddress = [this](const std::string& url) { return navigation_->isAppAddress(url); };
  pages_->onChanged = [this] { viewCommands_->refresh(); };
  pages_->onCommitted = [this] { navigation_->pageCommitted(); };
  pages_->restartBackend = [this] { supervisor_.restartForUser(); };
  pages_->onFirstPageShown = [this] { shellUpdate_.probation().firstPageShown(); };
  dialogs_->onLeaveQuestion = [this](ScriptDialogs::LeaveAnswer answer) {
    return quitQuestions_->pageQuestion(std::move(answer));
  };
  quitQuestions_->downloadsRunning = [this] { return downloads_->anyInFlight(); };
  downloadsWatch_ =
      std::make_unique<DownloadsWatch>(*downloads_, [this] { quitQuestions_->downloadsChanged(); });
  viewCommands_->mayGoTo = [this](const std::string& url) {
    return navigation_->isAppAddress(url);
  };
  viewCommands_->canReload = [this] { return pages_->canReload(); };
  viewCommands_->reload = [this] { pages_->reload(); };
  permissions_->isAppAddress = [this](const std::string& url) {
    return navigation_->isAppAddress(url);
  };
  // From now on the view reports each kind of event to the component that answers it.
  webView_->setDelegates(
      WebViewDelegates{*navigation_, *downloadsWatch_, *dialogs_, *pages_, *permissions_});

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
  supervisor_.stop();
  shellUpdate_.finishDeclaration();
  // Last: a launch that got this far ended by quitting.
  shellUpdate_.probation().launchEnded();
}

void AppDelegate::performMenuAction(MenuAction action) {
  // The item exists only when the author asked for the tools at launch.
  if (action == MenuAction::showDeveloperTools) {
    if (webView_ && developerTools_) webView_->showDeveloperTools();
    return;
  }
  if (viewCommands_) viewCommands_->perform(action);
}

void AppDelegate::applicationWasReplaced() {
  // A shell relaunched after a self-update takes this one's place at once;
  // this one goes when that one says it started, or stays if it never does.
  // One replaced in any other way goes a moment later.
  if (shellUpdate_.awaitsNewShell()) return;
  mainQueue_.postAfter(kReplacedShellLeaveSeconds, [&host = host_] { host.terminate(); });
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

void AppDelegate::pageReady(const Url& url) {
  if (leaving_ || !pages_) return;
  const std::shared_ptr<Backend>& backend = supervisor_.backend();
  if (!backend) {
    // An organisation server: its pages carry no secret and may reach any port.
    confinement_->lift();
    showAppPage(url);
    return;
  }
  // No page of the backend loads before the view presents its secret to it
  // and to no other port.
  confinement_->whenConfined(
      backend->port(), backend->secret(), [this, url] { showAppPage(url); },
      [this](const std::string& reason) {
        startupFailed(BackendLaunchFailed{"网页视图没能只向后端出示它的密钥：" + reason});
      });
}

void AppDelegate::showAppPage(const Url& url) {
  if (leaving_) return;
  navigation_->setBase(url);
  // A backend that restarted is shown at the zoom the user chose, as at launch.
  viewCommands_->applyZoom();
  pages_->showAppPage(url);
}

void AppDelegate::startupFailed(const MessagePage& page) {
  if (leaving_ || !pages_) return;
  pages_->showMessage(page);
}

}  // namespace lumivant
