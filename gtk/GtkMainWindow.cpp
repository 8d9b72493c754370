#include "GtkMainWindow.h"

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>

#include "GtkSheets.h"

namespace lumivant::gtk {

namespace {

// Whether enough of the frame lies on some monitor for the user to reach its
// title bar; a frame saved on a monitor that is gone is not restored there.
bool isReachable(const WindowFrame& frame) {
  constexpr int kVisibleMargin = 64;
  if (!frame.position) return false;
  GdkDisplay* display = gdk_display_get_default();
  const int monitors = display ? gdk_display_get_n_monitors(display) : 0;
  const GdkRectangle wanted{frame.position->x, frame.position->y, frame.width, kVisibleMargin};
  for (int i = 0; i < monitors; ++i) {
    GdkRectangle area{};
    gdk_monitor_get_workarea(gdk_display_get_monitor(display, i), &area);
    GdkRectangle overlap{};
    if (gdk_rectangle_intersect(&wanted, &area, &overlap) && overlap.width >= kVisibleMargin) {
      return true;
    }
  }
  return false;
}

// Whether the window system tells clients where their windows are. A Wayland
// compositor does not: GTK's idea of the position there is made up.
bool windowSystemReportsPositions(GtkWindow* window) {
#ifdef GDK_WINDOWING_WAYLAND
  if (GDK_IS_WAYLAND_DISPLAY(gtk_widget_get_display(GTK_WIDGET(window)))) return false;
#endif
  (void)window;
  return true;
}

WindowPlacement placementOf(GdkWindowState state) {
  if (state & (GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_TILED)) {
    return WindowPlacement::transient;
  }
  if (state & GDK_WINDOW_STATE_MAXIMIZED) return WindowPlacement::maximized;
  return WindowPlacement::normal;
}

}  // namespace

GtkMainWindow::GtkMainWindow(const WindowSettings& settings, GtkWidget* content, GtkWidget* menuBar,
                             GtkAccelGroup* accelerators, WindowFrameStore store)
    : autosaveName_(settings.frameAutosaveName),
      store_(std::move(store)),
      minWidth_(settings.minWidth),
      minHeight_(settings.minHeight) {
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  window_ = GObjectPtr<GtkWindow>::retain(GTK_WINDOW(widget));
  gtk_window_set_title(window_.get(), settings.title.c_str());
  minimum_.min_width = minWidth_;
  minimum_.min_height = minHeight_;
  gtk_window_set_geometry_hints(window_.get(), nullptr, &minimum_, GDK_HINT_MIN_SIZE);
  if (accelerators) gtk_window_add_accel_group(window_.get(), accelerators);

  // The menu bar on top, the downloads in flight at the bottom, and the web
  // view, with the starting indicator over it, takes all the rest: neither
  // the rows nor the indicator ever take the page's place.
  overlay_ = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(overlay_), content);
  indicator_ = buildStartingIndicator();
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), indicator_);
  // Clicks and scrolling go through it to the web view.
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay_), indicator_, TRUE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  if (menuBar) gtk_box_pack_start(GTK_BOX(box), menuBar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), overlay_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(box), downloadRows_.widget(), FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(widget), box);

  restoreFrame(settings);
  g_signal_connect(widget, "configure-event", G_CALLBACK(onConfigure), this);
  g_signal_connect(widget, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(widget, "size-allocate", G_CALLBACK(onSizeAllocate), this);
}

GtkMainWindow::~GtkMainWindow() {
  saveFramePromptly();
  g_signal_handlers_disconnect_by_data(window_.get(), this);
  gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

GtkWidget* GtkMainWindow::buildStartingIndicator() {
  // No background of its own: the window's shows around the spinner and text.
  GtkWidget* indicator = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_halign(indicator, GTK_ALIGN_CENTER);
  gtk_widget_set_valign(indicator, GTK_ALIGN_CENTER);
  spinner_ = gtk_spinner_new();
  gtk_widget_set_size_request(spinner_, 32, 32);
  indicatorLabel_ = gtk_label_new(nullptr);
  gtk_style_context_add_class(gtk_widget_get_style_context(indicatorLabel_), "dim-label");
  gtk_box_pack_start(GTK_BOX(indicator), spinner_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(indicator), indicatorLabel_, FALSE, FALSE, 0);
  // Shown only when asked for, not with the rest of the window.
  gtk_widget_show_all(indicator);
  gtk_widget_hide(indicator);
  gtk_widget_set_no_show_all(indicator, TRUE);
  return indicator;
}

void GtkMainWindow::showStartingIndicator(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(indicatorLabel_), text.c_str());
  gtk_spinner_start(GTK_SPINNER(spinner_));
  gtk_widget_show(indicator_);
}

void GtkMainWindow::hideStartingIndicator() {
  gtk_widget_hide(indicator_);
  gtk_spinner_stop(GTK_SPINNER(spinner_));
}

bool GtkMainWindow::isStartingIndicatorVisible() const {
  return gtk_widget_get_visible(indicator_) != FALSE;
}

void GtkMainWindow::restoreFrame(const WindowSettings& settings) {
  // A saved size below the minimum is shown at the minimum, and the frame
  // shown is then saved in its place.
  const auto saved = store_.load(autosaveName_);
  frame_ = saved.value_or(WindowFrame{std::nullopt, settings.width, settings.height, false});
  gtk_window_set_default_size(window_.get(), std::max(frame_.width, settings.minWidth),
                              std::max(frame_.height, settings.minHeight));
  if (windowSystemReportsPositions(window_.get()) && isReachable(frame_)) {
    gtk_window_move(window_.get(), frame_.position->x, frame_.position->y);
  } else {
    gtk_window_set_position(window_.get(), GTK_WIN_POS_CENTER);
  }
}

void GtkMainWindow::show() {
  gtk_widget_show_all(GTK_WIDGET(window_.get()));
  gtk_window_present(window_.get());
  // Maximised only once mapped at its normal frame: a window that asks to be
  // mapped maximised leaves some window managers (xfwm4) without the frame to
  // go back to, and un-maximising it then lands elsewhere.
  if (frame_.maximized) gtk_window_maximize(window_.get());
}

// The minimum holds for the window as the user sees it: title bar included,
// shadow excluded. GTK applies it to the window's surface. A window manager's
// frame (its title bar and borders, under X11) lies outside the surface, so the
// surface's minimum is smaller by the frame. A window that decorates itself
// (under Wayland) draws its title bar and its shadow inside the surface, and
// the compositor takes the shadow off GTK's minimum again, so the surface's
// minimum is larger by the shadow.
void GtkMainWindow::applyMinimumSize() {
  GtkWidget* widget = GTK_WIDGET(window_.get());
  GdkWindow* surface = gtk_widget_get_window(widget);
  GtkWidget* content = gtk_bin_get_child(GTK_BIN(widget));
  if (!surface || !content || !gtk_widget_get_mapped(widget)) return;
  GtkAllocation inner{};
  gtk_widget_get_allocation(content, &inner);
  // The toolkit's own title bar, when it draws one, is the other child; the
  // shadow ends where it begins.
  struct TitleBarSearch {
    GtkWidget* content;
    int top;
  } search{content, inner.y};
  gtk_container_forall(
      GTK_CONTAINER(widget),
      [](GtkWidget* child, gpointer data) {
        auto* search = static_cast<TitleBarSearch*>(data);
        if (child == search->content || !gtk_widget_get_visible(child)) return;
        GtkAllocation bar{};
        gtk_widget_get_allocation(child, &bar);
        search->top = std::min(search->top, bar.y);
      },
      &search);
  const int top = search.top;
  const int left = inner.x;
  const int right = gdk_window_get_width(surface) - inner.x - inner.width;
  const int bottom = gdk_window_get_height(surface) - inner.y - inner.height;
  if (left < 0 || right < 0 || top < 0 || bottom < 0) return;
  GdkRectangle frame{};
  gdk_window_get_frame_extents(surface, &frame);
  const int frameWidth = std::max(0, frame.width - gdk_window_get_width(surface));
  const int frameHeight = std::max(0, frame.height - gdk_window_get_height(surface));
  GdkGeometry wanted{};
  wanted.min_width = minWidth_ + left + right - frameWidth;
  wanted.min_height = minHeight_ + top + bottom - frameHeight;
  if (wanted.min_width == minimum_.min_width && wanted.min_height == minimum_.min_height) return;
  minimum_ = wanted;
  gtk_window_set_geometry_hints(window_.get(), nullptr, &minimum_, GDK_HINT_MIN_SIZE);
}

void GtkMainWindow::onSizeAllocate(GtkWidget*, GdkRectangle*, gpointer self) {
  static_cast<GtkMainWindow*>(self)->applyMinimumSize();
}

FrameObservation GtkMainWindow::observe() const {
  FrameObservation now;
  GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()));
  now.placement = surface ? placementOf(gdk_window_get_state(surface)) : WindowPlacement::normal;
  if (windowSystemReportsPositions(window_.get())) {
    FramePosition position;
    gtk_window_get_position(window_.get(), &position.x, &position.y);
    now.position = position;
  }
  gtk_window_get_size(window_.get(), &now.width, &now.height);
  return now;
}

void GtkMainWindow::scheduleSave() {
  if (saveTimer_) g_source_remove(saveTimer_);
  saveTimer_ = g_timeout_add(kFrameSaveDelayMilliseconds, onSaveTimer, this);
}

void GtkMainWindow::saveFramePromptly() {
  if (!saveTimer_) return;
  g_source_remove(saveTimer_);
  saveTimer_ = 0;
  writeFrame();
}

void GtkMainWindow::writeFrame() {
  const WindowFrame next = rememberFrame(frame_, observe());
  if (next == frame_) return;
  frame_ = next;
  store_.save(autosaveName_, frame_);  // a frame that cannot be saved is simply not remembered
}

gboolean GtkMainWindow::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
  auto* window = static_cast<GtkMainWindow*>(self);
  // The window manager's frame is known once it has framed the window.
  window->applyMinimumSize();
  window->scheduleSave();
  return FALSE;
}

gboolean GtkMainWindow::onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self) {
  static_cast<GtkMainWindow*>(self)->scheduleSave();
  return FALSE;
}

gboolean GtkMainWindow::onSaveTimer(gpointer self) {
  auto* window = static_cast<GtkMainWindow*>(self);
  window->saveTimer_ = 0;
  window->writeFrame();
  return G_SOURCE_REMOVE;
}

void GtkMainWindow::beginAlertSheet(const AlertSheet& alert, std::function<void(long)> done) {
  runAlertSheet(window_.get(), alert, std::move(done));
}

void GtkMainWindow::beginPromptSheet(const PromptSheet& prompt,
                                     std::function<void(long, std::string)> done) {
  runPromptSheet(window_.get(), prompt, std::move(done));
}

void GtkMainWindow::showDownloadRows(const std::vector<DownloadRow>& rows) {
  downloadRows_.show(rows);
}

void GtkMainWindow::beginSavePanelSheet(const SavePanelSheet& panel,
                                        std::function<void(std::optional<std::string>)> done) {
  runSavePanelSheet(window_.get(), panel, std::move(done));
}

void GtkMainWindow::beginOpenPanelSheet(
    const OpenPanelSheet& panel,
    std::function<void(std::optional<std::vector<std::string>>)> done) {
  runOpenPanelSheet(window_.get(), panel, std::move(done));
}

}  // namespace lumivant::gtk
