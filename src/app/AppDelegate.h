#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/BackendSupervisor.h"
#include "base/Url.h"
#include "host/ApplicationDelegate.h"
#include "host/Executor.h"
#include "host/Host.h"
#include "host/MainQueue.h"
#include "selfupdate/Bundle.h"
#include "selfupdate/ShellUpdate.h"

namespace lumivant {

class Downloads;
class DownloadsWatch;
class Navigation;
class PageLifecycle;
class PagePermissions;
class QuitQuestions;
class ScriptDialogs;
class ViewCommands;
class ViewConfinement;

// The composition root that the host talks to: it runs the launch in its fixed
// order, owns the shell's components, picks the organisation server or the
// local backend, and wires the components once: each answers its share of
// the web view's questions itself, and they reach one another through hooks.
// Main thread only.
class AppDelegate final : public ApplicationDelegate {
 public:
  // How the shell starts what runs beside the main thread: blocking work, a
  // local backend, and a new shell after a swap. Empty members take the real
  // ones; tests put in their own.
  struct Starters {
    Executor work;
    LocalStartup::Starter backend;
    ShellUpdate::Relauncher newShell;
  };

  AppDelegate(Host& host, MainQueue& mainQueue, const Bundle& bundle, Starters starters = {});
  ~AppDelegate() override;

  LaunchOutcome launch(const std::vector<std::string>& arguments) override;
  bool applicationShouldTerminateAfterLastWindowClosed() const override { return true; }
  void applicationShouldTerminate(std::function<void(bool quit)> reply) override;
  void applicationWillTerminate() override;
  void performMenuAction(MenuAction action) override;
  void applicationWasReplaced() override;

 private:
  // The launch once the process runs as the data root's shell: the swap
  // check, then the window, the declaration and the backend.
  void applicationDidFinishLaunching();
  // True when a newer shell took this one's place; if it does not start,
  // ifTheNewShellFails runs once the previous shell is back.
  bool replaceMyselfIfANewerShellIsStaged(std::function<void()> ifTheNewShellFails);
  // The launch after the swap check: the window, then the declaration and the backend.
  void showWindowAndStart();
  // The web view, the menu and the window, and the components that need them.
  void buildWindow();
  void wireStartups();
  // A backend or server answered: its first page, once the view is ready for it.
  void pageReady(const Url& url);
  void showAppPage(const Url& url);
  void startupFailed(const MessagePage& page);

  Host& host_;
  MainQueue& mainQueue_;
  const std::string dataRoot_;
  ShellUpdate shellUpdate_;
  BackendSupervisor supervisor_;

  // Built at launch, with the window.
  std::shared_ptr<WebView> webView_;
  std::shared_ptr<Window> window_;
  std::shared_ptr<PageLifecycle> pages_;
  std::unique_ptr<Navigation> navigation_;
  std::unique_ptr<Downloads> downloads_;
  std::unique_ptr<DownloadsWatch> downloadsWatch_;
  std::unique_ptr<ScriptDialogs> dialogs_;
  std::shared_ptr<QuitQuestions> quitQuestions_;
  std::unique_ptr<ViewCommands> viewCommands_;
  std::unique_ptr<PagePermissions> permissions_;

  // The app's author asked for the engine's developer tools at launch.
  bool developerTools_ = false;
  std::unique_ptr<ViewConfinement> confinement_;

  // Set while a newer shell a swap put in place has yet to start: this one
  // shows nothing more unless it does not.
  bool leaving_ = false;
};

}  // namespace lumivant
