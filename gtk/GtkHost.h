#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GObjectPtr.h"
#include "GtkMenuBar.h"
#include "InstanceGate.h"
#include "WebContentSandbox.h"
#include "host/ApplicationDelegate.h"
#include "host/Host.h"

namespace lumivant::gtk {

class GtkMainWindow;
class GtkWebView;

// The GTK 3 and WebKitGTK host: carries out the launch the application's
// delegate decides on, builds the widgets the core asks for and forwards the
// toolkit's events to the delegate.
class GtkHost final : public Host, private MenuActionHandler {
 public:
  // Installs the termination signal handlers at once, so that a SIGTERM that
  // arrives while the shell is still starting quits it through terminate()
  // as soon as the event loop runs. Needs no display yet.
  GtkHost();
  ~GtkHost() override;
  GtkHost(const GtkHost&) = delete;
  GtkHost& operator=(const GtkHost&) = delete;

  // Hands the launch to the delegate and does what it decides: exits at once,
  // or runs the event loop until terminate(). Returns the process's exit status.
  int run(ApplicationDelegate& delegate, int argc, char** argv);
  // Where the bundle keeps the module its web views' web processes load
  // (GtkWebView.h); set before the first web view is made.
  void setWebProcessModules(std::string directory) { webProcessModules_ = std::move(directory); }

  std::shared_ptr<WebView> createWebView(const WebsiteDataStore& store) override;
  void installMainMenu(const MainMenu& menu) override;
  void setMenuActionEnabled(MenuAction action, bool enabled) override;
  std::shared_ptr<Window> createMainWindow(const WindowSettings& settings,
                                           WebView& content) override;
  void activate() override;
  // Brings the window to the front for a later launch, with the launcher's
  // activation token (X11 startup id or Wayland activation token). Without
  // one the window also asks for attention, in case the window manager keeps
  // it from the front.
  void activate(const std::string& activationToken);
  void openExternally(const std::string& url,
                      std::function<void(const std::string& reason)> failed) override;
  // Through the data root's registered application: nothing without a session bus.
  void showDesktopNotification(const DesktopNotification& notification) override;
  void terminate() override;
  std::string messagePageTemplate() const override;

  // The launch's operations: GtkHostLaunch.cpp.
  bool claimInstance(const std::string& applicationId, InstanceTakeover takeover) override;
  bool activateRunningInstance() override;
  void reclaimInstance() override;
  std::string executeInstead(const std::string& program) override;
  bool openDisplay() override;
  void awaitReplacedInstance() override;

 private:
  // Does what the launch decided; the process's exit status.
  int carryOut(const LaunchOutcome& outcome);
  void perform(MenuAction action) override;
  // A quit the user asked for: the delegate is asked first.
  void requestQuit();
  static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onTerminationSignal(gpointer self);

  ApplicationDelegate* delegate_ = nullptr;
  // The process's arguments, which the toolkit may take its own options from.
  int argc_ = 0;
  char** argv_ = nullptr;
  // The session-bus name that makes this process the data root's one shell.
  std::optional<InstanceGate> instanceGate_;
  std::optional<MainMenu> menu_;
  MenuItemWidgets menuItems_;                // owned by the menu bar
  std::map<MenuAction, bool> menuEnabling_;  // kept for a menu not built yet
  std::weak_ptr<GtkWebView> webView_;
  std::string webProcessModules_;
  // Started as the display opens, answered when the web view is made.
  std::optional<WebContentSandboxCheck> sandboxCheck_;
  std::weak_ptr<GtkMainWindow> window_;
  std::vector<guint> signalSources_;
  bool terminating_ = false;
  // The delegate is being asked whether to quit.
  bool quitRequested_ = false;
};

}  // namespace lumivant::gtk
