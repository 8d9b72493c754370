#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "app/Host.h"

namespace lumivant {
class AppDelegate;
}

namespace lumivant::gtk {

// The GTK 3 and WebKitGTK host: builds the widgets the core asks for and
// forwards the toolkit's events to the AppDelegate.
class GtkHost final : public Host {
 public:
  GtkHost();
  ~GtkHost() override;

  // Delivers the launch event, then runs the event loop until terminate().
  void run(AppDelegate& delegate);

  std::shared_ptr<WebView> createWebView(WebViewDelegate& delegate) override;
  void installMainMenu(const MainMenu& menu) override;
  std::shared_ptr<Window> createMainWindow(const WindowSettings& settings,
                                           WebView& content) override;
  void activate() override;
  void openExternally(const std::string& url) override;
  void terminate() override;

 private:
  static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onUnixSignal(gpointer self);

  AppDelegate* delegate_ = nullptr;
  GtkWidget* toplevel_ = nullptr;  // owned by GTK once shown
  bool terminating_ = false;
};

}  // namespace lumivant::gtk
