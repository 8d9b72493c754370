#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <optional>

#include "GObjectPtr.h"
#include "GtkMenuBar.h"
#include "host/ApplicationDelegate.h"
#include "host/Host.h"

namespace lumivant::gtk {

class GtkMainWindow;
class GtkWebView;

// The GTK 3 and WebKitGTK host: builds the widgets the core asks for and
// forwards the toolkit's events to the application's delegate.
class GtkHost final : public Host, private MenuActionHandler {
 public:
  // Installs the termination signal handlers at once, so that a SIGTERM that
  // arrives while the shell is still starting quits it through terminate()
  // as soon as the event loop runs. Needs no display yet.
  GtkHost();
  ~GtkHost() override;
  GtkHost(const GtkHost&) = delete;
  GtkHost& operator=(const GtkHost&) = delete;

  // Delivers the launch event, then runs the event loop until terminate().
  void run(ApplicationDelegate& delegate);
  // Where the bundle keeps the module its web views' web processes load
  // (GtkWebView.h); set before the first web view is made.
  void setWebProcessModules(std::string directory) { webProcessModules_ = std::move(directory); }

  std::shared_ptr<WebView> createWebView(WebViewDelegate& delegate,
                                         const WebsiteDataStore& store) override;
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
  void terminate() override;
  std::string messagePageTemplate() const override;

 private:
  void perform(MenuAction action) override;
  // A quit the user asked for: the delegate is asked first.
  void requestQuit();
  static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onTerminationSignal(gpointer self);

  ApplicationDelegate* delegate_ = nullptr;
  std::optional<MainMenu> menu_;
  MenuItemWidgets menuItems_;                // owned by the menu bar
  std::map<MenuAction, bool> menuEnabling_;  // kept for a menu not built yet
  std::weak_ptr<GtkWebView> webView_;
  std::string webProcessModules_;
  std::weak_ptr<GtkMainWindow> window_;
  std::vector<guint> signalSources_;
  bool terminating_ = false;
  // The delegate is being asked whether to quit.
  bool quitRequested_ = false;
};

}  // namespace lumivant::gtk
