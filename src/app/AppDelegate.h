#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/Bundle.h"
#include "app/FirstPageWatch.h"
#include "app/Host.h"
#include "app/MainQueue.h"
#include "app/WebViewDelegate.h"
#include "backend/LocalStart.h"
#include "base/Url.h"
#include "browser/Downloads.h"
#include "browser/CrashReloads.h"

namespace lumivant {

class Backend;

// The application's delegate and the web view's delegate: it holds the state
// the whole shell shares and runs the launch sequence. Lives in a shared_ptr so
// that work coming back from other threads can hold it weakly.
//
// Its members are defined beside the subsystem they belong to: the launch and
// lifecycle here, startBackend in backend/, connectTo in orgserver/, the web
// view's callbacks in browser/.
class AppDelegate : public WebViewDelegate, public std::enable_shared_from_this<AppDelegate> {
 public:
  // The background part of a local start: build, launch and wait for a backend
  // of the data root.
  using LocalStarter = std::function<LocalStartOutcome(
      const std::string& python, const std::string& logDirectory, const std::string& dataRoot)>;

  // Without a local starter, local starts build, launch and wait for real
  // backends, and quitting stops those that are still starting.
  AppDelegate(Host& host, MainQueue& mainQueue, Bundle bundle, LocalStarter localStarter = {});
  ~AppDelegate() override;

  // The shared state. Written and read on the main thread only.
  std::shared_ptr<Window> window;
  std::shared_ptr<WebView> webView;
  std::shared_ptr<Backend> backend;  // the local backend once it is ready
  std::optional<Url> origin;         // the organisation server once it answered

  // Application events.
  void applicationDidFinishLaunching();
  bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
  void applicationWillTerminate();

  // Launch entries. Virtual so that tests can watch the launch order.
  virtual void cleanupOldShellFiles();
  virtual bool replaceMyselfIfANewerShellIsStaged();
  virtual void declareMyself();
  virtual void startBackend();

  void connectTo(const Url& server);
  void showMessage(const std::string& message);
  // Loads the first page of a backend or server that has just answered, and
  // watches it: a first page that does not finish loading ends in a message page.
  void loadFirstPage(const std::string& url);
  bool isLocal(const Url& url) const;

  // WebViewDelegate
  NavigationActionPolicy decidePolicyForNavigationAction(const NavigationAction& action) override;
  NavigationResponsePolicy decidePolicyForNavigationResponse(
      const NavigationResponse& response) override;
  void createWebViewFor(const NavigationAction& action) override;
  void decideDownloadDestination(
      const std::string& suggestedFilename,
      std::function<void(std::optional<std::string>)> completion) override;
  void downloadDidFail(const DownloadError& error) override;
  void downloadDidBegin(DownloadId id, const std::string& destinationPath,
                        std::function<void()> cancel) override;
  void downloadDidReceiveData(DownloadId id, uint64_t receivedBytes,
                              uint64_t expectedBytes) override;
  void downloadDidEnd(DownloadId id) override;
  void runJavaScriptAlert(const std::string& message, std::function<void()> completion) override;
  void runJavaScriptConfirm(const std::string& message,
                            std::function<void(bool)> completion) override;
  void runJavaScriptTextInput(const std::string& message, const std::string& defaultText,
                              std::function<void(std::optional<std::string>)> completion) override;
  void runBeforeUnloadConfirm(std::function<void(bool leave)> completion) override;
  void runOpenPanel(
      const OpenPanelParameters& parameters,
      std::function<void(std::optional<std::vector<std::string>>)> completion) override;
  void didFinishNavigation() override;
  void didCommitNavigation(const std::string& url) override;
  void didFailNavigation(const NavigationFailure& failure) override;
  void webContentProcessDidTerminate() override;

  const Bundle& bundle() const { return bundle_; }

 private:
  static LocalStarter defaultLocalStarter(std::shared_ptr<LaunchedBackends> launched);
  // The local start-up flow's steps on the main thread. Each holds the delegate
  // weakly and the Backend strongly.
  static void backendBecameReady(const std::weak_ptr<AppDelegate>& weak,
                                 const std::shared_ptr<Backend>& ready, MainQueue& queue);
  static void backendExited(const std::weak_ptr<AppDelegate>& weak, int32_t code,
                            const std::shared_ptr<Backend>& exited);
  // The base address against which locality is judged: origin, else the backend's url.
  std::optional<Url> localityBase() const;
  // Shows a message that a web-view callback decided on, once the callback has returned.
  void showMessageSoon(std::string message);
  void hideStartingIndicator();

  Host& host_;
  MainQueue& mainQueue_;
  const Bundle bundle_;
  const std::shared_ptr<LaunchedBackends> launchedBackends_ = std::make_shared<LaunchedBackends>();
  const LocalStarter localStarter_;
  DownloadsInFlight downloads_;

  FirstPageWatch firstPage_;
  CrashReloadBudget crashReloads_;
  std::optional<std::string> shownMessage_;  // the message page's text while it shows
  bool startingIndicatorShown_ = false;
};

}  // namespace lumivant
