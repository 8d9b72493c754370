#pragma once

#include <memory>
#include <optional>
#include <string>

#include "backend/LocalStartup.h"
#include "base/Url.h"
#include "host/ApplicationDelegate.h"
#include "host/Executor.h"
#include "host/Host.h"
#include "host/MainQueue.h"
#include "host/WebViewDelegate.h"
#include "selfupdate/Bundle.h"
#include "selfupdate/ShellUpdate.h"

namespace lumivant {

class Downloads;
class Navigation;
class PageLifecycle;
class QuitQuestions;
class ScriptDialogs;
class ServerConnection;
class ViewCommands;

// The composition root that the host talks to: it owns the shell's components,
// runs the launch in its fixed order, picks the organisation server or the
// local backend, wires the components' hooks to each other, and hands each of
// the web view's callbacks to the component that answers it. Main thread only.
class AppDelegate final : public ApplicationDelegate, public WebViewDelegate {
 public:
  // What the launch reaches besides the host: where blocking work runs, how a
  // local backend is started and how the shell relaunches. Empty members take
  // the real ones.
  struct Seams {
    Executor executor;
    LocalStartup::Starter localStarter;
    ShellUpdate::Relauncher relaunch;
  };

  AppDelegate(Host& host, MainQueue& mainQueue, const Bundle& bundle, Seams seams = {});
  ~AppDelegate() override;

  // ApplicationDelegate
  void applicationDidFinishLaunching() override;
  bool applicationShouldTerminateAfterLastWindowClosed() const override { return true; }
  void applicationShouldTerminate(std::function<void(bool quit)> reply) override;
  void applicationWillTerminate() override;
  void performMenuAction(MenuAction action) override;

  // The launch's own steps.
  void cleanupOldShellFiles() { shellUpdate_.cleanupOldShellFiles(); }
  // True when a newer shell took this one's place; if it does not start,
  // ifTheNewShellFails runs once the previous shell is back.
  bool replaceMyselfIfANewerShellIsStaged(std::function<void()> ifTheNewShellFails);
  void declareMyself() { shellUpdate_.declareMyself(); }
  // A shell relaunched by a swap owes the shell that relaunched it word that it started.
  void owesStartConfirmation(std::shared_ptr<StartConfirmation> confirmation) {
    shellUpdate_.owesStartConfirmation(std::move(confirmation));
  }
  bool awaitsNewShell() const { return shellUpdate_.awaitsNewShell(); }
  // Runs when a new shell did not start and this one stays after all.
  void onSwapRolledBack(std::function<void()> hook) { shellUpdate_.onRolledBack = std::move(hook); }
  // The organisation server named in server.json, else the local backend.
  void startBackend();
  void connectTo(const Url& server);
  void showMessage(const std::string& message);

  // WebViewDelegate: each goes to the component that answers it.
  NavigationActionPolicy decidePolicyForNavigationAction(const NavigationAction& action) override;
  NavigationResponsePolicy decidePolicyForNavigationResponse(
      const NavigationResponse& response) override;
  bool createWebViewFor(const NavigationAction& action) override;
  void openedWindowNavigation(const NavigationAction& action) override;
  void decideDownloadDestination(
      const std::string& suggestedFilename, bool byUserGesture,
      std::function<void(std::optional<std::string>)> completion) override;
  void downloadDidFail(DownloadId id, const DownloadError& error) override;
  void downloadDidBegin(DownloadId id, const std::string& destinationPath,
                        std::function<void()> cancel) override;
  void downloadDidReceiveData(DownloadId id, uint64_t receivedBytes,
                              uint64_t expectedBytes) override;
  void downloadDidEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) override;
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
  void backForwardListDidChange() override;

  // The base address the web view's pages are judged local against; for the
  // wiring's tests.
  std::optional<Url> localityBase() const;

 private:
  // The web view, the menu and the window, and the components that need them.
  void buildWindow();
  // The launch after the swap check: the window, then the declaration and the backend.
  void showWindowAndStart();
  void wireStartups();
  void pageReady(const std::string& url);
  void startupFailed(const std::string& text);

  Host& host_;
  MainQueue& mainQueue_;
  const std::string dataRoot_;
  ShellUpdate shellUpdate_;
  const std::shared_ptr<LocalStartup> localStartup_;
  const std::shared_ptr<ServerConnection> serverConnection_;

  // Built at launch, with the window.
  std::shared_ptr<WebView> webView_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<PageLifecycle> pages_;
  std::unique_ptr<Navigation> navigation_;
  std::unique_ptr<Downloads> downloads_;
  std::unique_ptr<ScriptDialogs> dialogs_;
  std::shared_ptr<QuitQuestions> quitQuestions_;
  std::unique_ptr<ViewCommands> viewCommands_;

  // Set while a newer shell a swap put in place has yet to start: this one
  // shows nothing more unless it does not.
  bool leaving_ = false;
};

}  // namespace lumivant
