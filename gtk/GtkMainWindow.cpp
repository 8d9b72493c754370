#include "GtkMainWindow.h"

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include "GtkSheets.h"
#include "StartingSpinner.h"

namespace lumivant::gtk {

namespace {

bool onWayland(GtkWidget* widget) {
#ifdef GDK_WINDOWING_WAYLAND
  return GDK_IS_WAYLAND_DISPLAY(gtk_widget_get_display(widget));
#else
  (void)widget;
  return false;
#endif
}

}  // namespace

GtkMainWindow::GtkMainWindow(const WindowSettings& settings, GtkWidget* content, GtkWidget* menuBar,
                             GtkAccelGroup* accelerators, WindowFrameStore store) {
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  window_ = GObjectPtr<GtkWindow>::retain(GTK_WINDOW(widget));
  gtk_window_set_title(window_.get(), settings.title.c_str());
  if (accelerators) gtk_window_add_accel_group(window_.get(), accelerators);

  // The menu bar on top, the downloads in flight at the bottom, and the web
  // view or, in its place, the starting indicator take all the rest: neither
  // the rows nor the indicator ever take the page's place. The indicator is
  // not drawn over the web view: drawing a web view whose web process has not
  // painted yet waits on that process, and the indicator's spinner would
  // keep the main thread in that wait while the first page is requested.
  content_ = content;
  stack_ = gtk_stack_new();
  gtk_stack_add_named(GTK_STACK(stack_), content, "page");
  indicator_ = buildStartingIndicator();
  gtk_stack_add_named(GTK_STACK(stack_), indicator_, "starting");
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  menuBar_ = menuBar;
  if (menuBar) gtk_box_pack_start(GTK_BOX(box), menuBar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), stack_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(box), downloadRows_.widget(), FALSE, FALSE, 0);
  // The find bar sits right below the page, above the downloads.
  if (WEBKIT_IS_WEB_VIEW(content)) {
    findBar_ = std::make_unique<GtkFindBar>(WEBKIT_WEB_VIEW(content));
    gtk_box_pack_end(GTK_BOX(box), findBar_->widget(), FALSE, FALSE, 0);
  }
  announcer_ = gtk_label_new(nullptr);
  gtk_widget_set_no_show_all(announcer_, TRUE);
  atk_object_set_role(gtk_widget_get_accessible(announcer_), ATK_ROLE_NOTIFICATION);
  gtk_box_pack_end(GTK_BOX(box), announcer_, FALSE, FALSE, 0);
  // A Wayland compositor places a dialog's window where it likes, Weston well
  // away from its parent; there the window draws its alerts, prompts and file
  // choosers itself.
  sheets_ = std::make_unique<InWindowSheets>(box);
  alertsInWindow_ = onWayland(widget);
  gtk_container_add(GTK_CONTAINER(widget), sheets_->widget());

  // Whatever covered the page is gone: a menu closed, a dialog gave the focus
  // back. Without a compositor the window system asks the page to paint that
  // area again, and an engine that paints on its own schedule may not; asking
  // for the whole page costs one frame.
  if (menuBar) g_signal_connect_swapped(menuBar, "deactivate", G_CALLBACK(repaintPage), stack_);
  g_signal_connect(widget, "focus-in-event", G_CALLBACK(onFocusIn), stack_);
  g_signal_connect(widget, "window-state-event", G_CALLBACK(onWindowState), this);
  // Escape goes to the page first, as every key does (PageFirstKeys.h); one
  // the page leaves unhandled reaches this shortcut. F11 is the menu item's,
  // but a hidden menu bar's items take no keys.
  leaveFullScreenKeys_ = GObjectPtr<GtkAccelGroup>::adopt(gtk_accel_group_new());
  for (const guint key : {GDK_KEY_Escape, GDK_KEY_F11}) {
    gtk_accel_group_connect(leaveFullScreenKeys_.get(), key, GdkModifierType{}, GtkAccelFlags{},
                            g_cclosure_new(G_CALLBACK(onLeaveKey), this, nullptr));
  }

  frameKeeper_.emplace(window_.get(), settings, std::move(store));
}

GtkMainWindow::~GtkMainWindow() {
  g_signal_handlers_disconnect_by_data(window_.get(), this);
  // The keeper writes a frame change still waiting, from the window as it is.
  frameKeeper_.reset();
  sheets_.reset();
  gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

GtkWidget* GtkMainWindow::buildStartingIndicator() {
  // No background of its own: the window's shows around the spinner and text.
  GtkWidget* indicator = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_halign(indicator, GTK_ALIGN_CENTER);
  gtk_widget_set_valign(indicator, GTK_ALIGN_CENTER);
  spinner_ = newStartingSpinner();
  gtk_widget_set_size_request(spinner_, 32, 32);
  indicatorLabel_ = gtk_label_new(nullptr);
  gtk_style_context_add_class(gtk_widget_get_style_context(indicatorLabel_), "dim-label");
  gtk_box_pack_start(GTK_BOX(indicator), spinner_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(indicator), indicatorLabel_, FALSE, FALSE, 0);
  return indicator;
}

void GtkMainWindow::showStartingIndicator(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(indicatorLabel_), text.c_str());
  gtk_spinner_start(GTK_SPINNER(spinner_));
  gtk_stack_set_visible_child(GTK_STACK(stack_), indicator_);
}

void GtkMainWindow::hideStartingIndicator() {
  gtk_stack_set_visible_child(GTK_STACK(stack_), content_);
  gtk_spinner_stop(GTK_SPINNER(spinner_));
  // The page lost the focus when the indicator took its place; typing goes
  // to it again unless the user has focused something else meanwhile.
  if (!gtk_window_get_focus(window_.get())) gtk_widget_grab_focus(content_);
}

bool GtkMainWindow::isStartingIndicatorVisible() const {
  return gtk_stack_get_visible_child(GTK_STACK(stack_)) == indicator_;
}

void GtkMainWindow::show() {
  gtk_widget_show_all(GTK_WIDGET(window_.get()));
  gtk_window_present(window_.get());
  frameKeeper_->windowShown();
}

void GtkMainWindow::beginAlertSheet(const AlertSheet& alert, std::function<void(long)> done) {
  if (alertsInWindow_) return sheets_->runAlert(alert, std::move(done));
  runAlertSheet(window_.get(), alert, std::move(done));
}

void GtkMainWindow::beginPromptSheet(const PromptSheet& prompt,
                                     std::function<void(long, std::string)> done) {
  if (alertsInWindow_) return sheets_->runPrompt(prompt, std::move(done));
  runPromptSheet(window_.get(), prompt, std::move(done));
}

void GtkMainWindow::showDownloadRows(const std::vector<DownloadRow>& rows) {
  downloadRows_.show(rows);
  if (fullScreen_) gtk_widget_hide(downloadRows_.widget());
  repaintPage(stack_);
}

// GTK 3 has no call that makes assistive technology speak; a screen reader
// speaks a notification when it shows. The announcer is never drawn, so that
// showing is told to assistive technology alone.
void GtkMainWindow::announce(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(announcer_), text.c_str());
  AtkObject* notification = gtk_widget_get_accessible(announcer_);
  atk_object_set_name(notification, text.c_str());
  atk_object_notify_state_change(notification, ATK_STATE_SHOWING, TRUE);
}

void GtkMainWindow::showFindBar() {
  if (findBar_) findBar_->show();
}

void GtkMainWindow::findAgain(FindDirection direction) {
  if (findBar_) findBar_->findAgain(direction == FindDirection::next);
}

void GtkMainWindow::toggleFullScreen() {
  // The window system answers with a change of state, which shows it.
  if (fullScreen_) {
    gtk_window_unfullscreen(window_.get());
  } else {
    gtk_window_fullscreen(window_.get());
  }
}

gboolean GtkMainWindow::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  if (event->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) {
    static_cast<GtkMainWindow*>(self)->presentFullScreen(event->new_window_state &
                                                         GDK_WINDOW_STATE_FULLSCREEN);
  }
  return FALSE;
}

gboolean GtkMainWindow::onLeaveKey(GtkAccelGroup*, GObject*, guint, GdkModifierType,
                                   gpointer self) {
  gtk_window_unfullscreen(static_cast<GtkMainWindow*>(self)->window_.get());
  return TRUE;
}

void GtkMainWindow::presentFullScreen(bool fullScreen) {
  if (fullScreen == fullScreen_) return;
  fullScreen_ = fullScreen;
  // The web view asks for the whole window when its page goes full screen;
  // the shell's own widgets make way too.
  if (menuBar_) gtk_widget_set_visible(menuBar_, !fullScreen);
  GtkWidget* rows = downloadRows_.widget();
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(rows));
  gtk_widget_set_visible(rows, !fullScreen && children != nullptr);
  if (findBar_ && fullScreen) findBar_->close();
  if (fullScreen) {
    gtk_window_add_accel_group(window_.get(), leaveFullScreenKeys_.get());
  } else {
    gtk_window_remove_accel_group(window_.get(), leaveFullScreenKeys_.get());
  }
}

void GtkMainWindow::repaintPage(GtkWidget* page) { gtk_widget_queue_draw(page); }

gboolean GtkMainWindow::onFocusIn(GtkWidget*, GdkEventFocus*, gpointer page) {
  repaintPage(static_cast<GtkWidget*>(page));
  return FALSE;
}

void GtkMainWindow::beginSavePanelSheet(const SavePanelSheet& panel,
                                        std::function<void(std::optional<std::string>)> done) {
  if (alertsInWindow_) return sheets_->runSavePanel(panel, std::move(done));
  runSavePanelSheet(window_.get(), panel, std::move(done));
}

void GtkMainWindow::beginOpenPanelSheet(
    const OpenPanelSheet& panel,
    std::function<void(std::optional<std::vector<std::string>>)> done) {
  if (alertsInWindow_) return sheets_->runOpenPanel(panel, std::move(done));
  runOpenPanelSheet(window_.get(), panel, std::move(done));
}

}  // namespace lumivant::gtk
