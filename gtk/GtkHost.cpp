#include "GtkHost.h"

#include <glib-unix.h>

#include <csignal>

#include "GtkMainWindow.h"
#include "GtkWebView.h"
#include "app/AppDelegate.h"

namespace lumivant::gtk {

GtkHost::GtkHost() = default;
GtkHost::~GtkHost() = default;

void GtkHost::run(AppDelegate& delegate) {
  delegate_ = &delegate;
  // SIGTERM and SIGINT quit through the same path as the menu item.
  g_unix_signal_add(SIGTERM, onUnixSignal, this);
  g_unix_signal_add(SIGINT, onUnixSignal, this);
  delegate.applicationDidFinishLaunching();
  if (!terminating_) gtk_main();
}

std::shared_ptr<WebView> GtkHost::createWebView(WebViewDelegate& delegate) {
  return std::make_shared<GtkWebView>(delegate);
}

void GtkHost::installMainMenu(const MainMenu&) {}

std::shared_ptr<Window> GtkHost::createMainWindow(const WindowSettings& settings,
                                                  WebView& content) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), settings.title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window), settings.width, settings.height);
  GdkGeometry hints{};
  hints.min_width = settings.minWidth;
  hints.min_height = settings.minHeight;
  gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  gtk_container_add(GTK_CONTAINER(window), static_cast<GtkWebView&>(content).widget());
  g_signal_connect(window, "delete-event", G_CALLBACK(onDeleteEvent), this);
  gtk_widget_show_all(window);
  toplevel_ = window;
  return std::make_shared<GtkMainWindow>(GTK_WINDOW(window));
}

void GtkHost::activate() {
  if (toplevel_) gtk_window_present(GTK_WINDOW(toplevel_));
}

void GtkHost::openExternally(const std::string&) {}

void GtkHost::terminate() {
  if (terminating_) return;
  terminating_ = true;
  if (delegate_) delegate_->applicationWillTerminate();
  if (gtk_main_level() > 0) gtk_main_quit();
}

gboolean GtkHost::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  if (host->delegate_ && host->delegate_->applicationShouldTerminateAfterLastWindowClosed()) {
    host->terminate();
  }
  return TRUE;  // the window goes with the process
}

gboolean GtkHost::onUnixSignal(gpointer self) {
  static_cast<GtkHost*>(self)->terminate();
  return G_SOURCE_CONTINUE;
}

}  // namespace lumivant::gtk
