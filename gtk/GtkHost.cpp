#include "GtkHost.h"

#include <glib-unix.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <csignal>

#include "DesktopNotifications.h"
#include "ExternalHandler.h"
#include "GtkMainWindow.h"
#include "GtkWebView.h"
#include "PageFirstKeys.h"
#include "WindowFrameStore.h"
#include "WindowIcons.h"

// Made by glib-compile-resources from resources/shell.gresource.xml.
extern "C" GResource* lumivant_shell_get_resource(void);

namespace lumivant::gtk {

namespace {

const char* editingCommandFor(MenuAction action) {
  switch (action) {
    case MenuAction::undo:
      return WEBKIT_EDITING_COMMAND_UNDO;
    case MenuAction::redo:
      return WEBKIT_EDITING_COMMAND_REDO;
    case MenuAction::cut:
      return WEBKIT_EDITING_COMMAND_CUT;
    case MenuAction::copy:
      return WEBKIT_EDITING_COMMAND_COPY;
    case MenuAction::paste:
      return WEBKIT_EDITING_COMMAND_PASTE;
    case MenuAction::selectAll:
      return WEBKIT_EDITING_COMMAND_SELECT_ALL;
    default:
      break;
  }
  return nullptr;
}

void editField(GtkEditable* field, MenuAction action) {
  switch (action) {
    case MenuAction::cut:
      return gtk_editable_cut_clipboard(field);
    case MenuAction::copy:
      return gtk_editable_copy_clipboard(field);
    case MenuAction::paste:
      return gtk_editable_paste_clipboard(field);
    case MenuAction::selectAll:
      return gtk_editable_select_region(field, 0, -1);
    default:
      return;  // a GTK 3 entry keeps no undo history
  }
}

// The mouse's side buttons, which go back and forward in every browser.
constexpr guint kBackButton = 8;
constexpr guint kForwardButton = 9;

}  // namespace

GtkHost::GtkHost() {
  // SIGTERM, SIGINT and SIGHUP quit through the same path as the menu item,
  // without its questions: the system's request is not the user's to refuse.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    signalSources_.push_back(g_unix_signal_add(signal, onTerminationSignal, this));
  }
}

GtkHost::~GtkHost() {
  for (guint source : signalSources_) g_source_remove(source);
}

std::shared_ptr<WebView> GtkHost::createWebView(const WebsiteDataStore& store) {
  auto view = std::make_shared<GtkWebView>(store, webProcessModules_,
                                           sandboxCheck_ ? &*sandboxCheck_ : nullptr);
  // The page's context menu offers some of the menu bar's items, with the
  // same rules.
  view->setMenuActions({[this](MenuAction action) { perform(action); },
                        [this](MenuAction action) {
                          const auto enabling = menuEnabling_.find(action);
                          return enabling == menuEnabling_.end() || enabling->second;
                        }});
  webView_ = view;
  return view;
}

void GtkHost::installMainMenu(const MainMenu& menu) { menu_ = menu; }

void GtkHost::setMenuActionEnabled(MenuAction action, bool enabled) {
  menuEnabling_[action] = enabled;
  // An insensitive item's accelerators do not fire either.
  if (auto item = menuItems_.find(action); item != menuItems_.end()) {
    gtk_widget_set_sensitive(item->second, enabled);
  }
}

std::shared_ptr<Window> GtkHost::createMainWindow(const WindowSettings& settings,
                                                  WebView& content) {
  // The default icon, so that every dialog of the shell carries it as well as
  // the main window.
  setDefaultWindowIcon(settings.iconPath);
  auto accelerators = GObjectPtr<GtkAccelGroup>::adopt(gtk_accel_group_new());
  GtkWidget* menuBar =
      menu_ ? buildMenuBar(*menu_, accelerators.get(), *this, menuItems_) : nullptr;
  for (const auto& [action, enabled] : menuEnabling_) setMenuActionEnabled(action, enabled);
  auto window =
      std::make_shared<GtkMainWindow>(settings, static_cast<GtkWebView&>(content).widget(), menuBar,
                                      accelerators.get(), WindowFrameStore::userStore());
  g_signal_connect(window->window(), "delete-event", G_CALLBACK(onDeleteEvent), this);
  if (menu_) givePageKeysFirst(window->window(), *menu_);
  g_signal_connect(static_cast<GtkWebView&>(content).widget(), "button-press-event",
                   G_CALLBACK(onButtonPress), this);
  window->show();
  // Typing goes to the page from the start.
  gtk_widget_grab_focus(static_cast<GtkWebView&>(content).widget());
  window_ = window;
  return window;
}

void GtkHost::activate() { activate(std::string()); }

std::string GtkHost::messagePageTemplate() const {
  // Compiled into the shell, so it is there whenever the shell is.
  GBytes* bytes =
      g_resource_lookup_data(lumivant_shell_get_resource(), "/org/lumivant/shell/message-page.html",
                             G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string text(data, size);
  g_bytes_unref(bytes);
  return text;
}

namespace {

gboolean stopAskingForAttention(GtkWidget* window, GdkEvent*, gpointer) {
  gtk_window_set_urgency_hint(GTK_WINDOW(window), FALSE);
  g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(stopAskingForAttention),
                                       nullptr);
  return FALSE;
}

}  // namespace

void GtkHost::activate(const std::string& activationToken) {
  auto window = window_.lock();
  if (!window) return;
  GtkWindow* gtkWindow = window->window();
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(gtkWindow));
  if (!activationToken.empty()) {
    // What GtkApplication does with the token it was sent: the display dates
    // (X11) or authorises (Wayland) the next presentation with it.
#ifdef GDK_WINDOWING_X11
    if (GDK_IS_X11_DISPLAY(display)) {
      gdk_x11_display_set_startup_notification_id(display, activationToken.c_str());
    }
#endif
#ifdef GDK_WINDOWING_WAYLAND
    if (GDK_IS_WAYLAND_DISPLAY(display)) {
      gdk_wayland_display_set_startup_notification_id(display, activationToken.c_str());
    }
#endif
    gtk_window_present(gtkWindow);
#ifdef GDK_WINDOWING_X11
    // The launcher's busy cursor ends with the presentation.
    if (GDK_IS_X11_DISPLAY(display)) gdk_notify_startup_complete_with_id(activationToken.c_str());
#endif
    return;
  }
  guint32 timestamp = GDK_CURRENT_TIME;
#ifdef GDK_WINDOWING_X11
  // Asked from outside without a token, there is no input event of ours to
  // date the request by; window managers that prevent focus stealing honour
  // the server's current time.
  GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(gtkWindow));
  if (surface && GDK_IS_X11_WINDOW(surface)) timestamp = gdk_x11_get_server_time(surface);
#endif
  const bool wasActive = gtk_window_is_active(gtkWindow);
  gtk_window_present_with_time(gtkWindow, timestamp);
  // A window manager may still keep it back; it then at least shows that the
  // window wants the user, until the window has the focus.
  if (!wasActive) {
    gtk_window_set_urgency_hint(gtkWindow, TRUE);
    g_signal_handlers_disconnect_by_func(
        gtkWindow, reinterpret_cast<gpointer>(stopAskingForAttention), nullptr);
    g_signal_connect(gtkWindow, "focus-in-event", G_CALLBACK(stopAskingForAttention), nullptr);
  }
}

void GtkHost::openExternally(const std::string& url,
                             std::function<void(const std::string& reason)> failed) {
  openWithDefaultHandler(url, std::move(failed));
}

void GtkHost::showDesktopNotification(const DesktopNotification& notification) {
  GApplication* application = instanceGate_ ? instanceGate_->registeredApplication() : nullptr;
  if (application) sendDesktopNotification(application, notification);
}

void GtkHost::terminate() {
  if (terminating_) return;
  terminating_ = true;
  // A launch from now on waits for this shell to go instead of asking it for a window.
  if (instanceGate_) instanceGate_->markQuitting();
  if (auto window = window_.lock()) window->saveFramePromptly();
  if (delegate_) delegate_->applicationWillTerminate();
  if (gtk_main_level() > 0) gtk_main_quit();
}

void GtkHost::requestQuit() {
  if (terminating_ || quitRequested_ || !delegate_) return;
  quitRequested_ = true;
  delegate_->applicationShouldTerminate([this](bool quit) {
    quitRequested_ = false;
    if (quit) terminate();
  });
}

void GtkHost::perform(MenuAction action) {
  if (action == MenuAction::terminate) return requestQuit();
  if (isEditAction(action)) {
    // A field of the shell's own (the find bar's) edits its own text.
    auto window = window_.lock();
    GtkWidget* focus = window ? gtk_window_get_focus(window->window()) : nullptr;
    if (focus && GTK_IS_EDITABLE(focus)) return editField(GTK_EDITABLE(focus), action);
    if (auto view = webView_.lock()) view->executeEditingCommand(editingCommandFor(action));
    return;
  }
  if (delegate_) delegate_->performMenuAction(action);
}

gboolean GtkHost::onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type != GDK_BUTTON_PRESS) return FALSE;
  auto* host = static_cast<GtkHost*>(self);
  if (event->button == kBackButton) {
    host->perform(MenuAction::goBack);
    return TRUE;
  }
  if (event->button == kForwardButton) {
    host->perform(MenuAction::goForward);
    return TRUE;
  }
  return FALSE;
}

gboolean GtkHost::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  if (host->delegate_ && host->delegate_->applicationShouldTerminateAfterLastWindowClosed()) {
    host->requestQuit();
  }
  return TRUE;  // the window goes with the process, if it goes
}

gboolean GtkHost::onTerminationSignal(gpointer self) {
  static_cast<GtkHost*>(self)->terminate();
  return G_SOURCE_CONTINUE;
}

}  // namespace lumivant::gtk
