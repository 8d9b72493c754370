#include "WindowFrameKeeper.h"

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>

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

WindowFrameKeeper::WindowFrameKeeper(GtkWindow* window, const WindowSettings& settings,
                                     WindowFrameStore store)
    : window_(window),
      autosaveName_(settings.frameAutosaveName),
      store_(std::move(store)),
      minWidth_(settings.minWidth),
      minHeight_(settings.minHeight) {
  minimum_.min_width = minWidth_;
  minimum_.min_height = minHeight_;
  gtk_window_set_geometry_hints(window_, nullptr, &minimum_, GDK_HINT_MIN_SIZE);
  restoreFrame(settings);
  g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(window_, "size-allocate", G_CALLBACK(onSizeAllocate), this);
}

WindowFrameKeeper::~WindowFrameKeeper() {
  saveFramePromptly();
  g_signal_handlers_disconnect_by_data(window_, this);
}

void WindowFrameKeeper::restoreFrame(const WindowSettings& settings) {
  // A saved size below the minimum is shown at the minimum, and the frame
  // shown is then saved in its place.
  const auto saved = store_.load(autosaveName_);
  frame_ = saved.value_or(WindowFrame{std::nullopt, settings.width, settings.height, false});
  gtk_window_set_default_size(window_, std::max(frame_.width, settings.minWidth),
                              std::max(frame_.height, settings.minHeight));
  if (windowSystemReportsPositions(window_) && isReachable(frame_)) {
    gtk_window_move(window_, frame_.position->x, frame_.position->y);
  } else {
    gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  }
}

void WindowFrameKeeper::windowShown() {
  // Maximised only once mapped at its normal frame: a window that asks to be
  // mapped maximised leaves some window managers (xfwm4) without the frame to
  // go back to, and un-maximising it then lands elsewhere.
  if (frame_.maximized) gtk_window_maximize(window_);
}

// The minimum holds for the window as the user sees it: title bar included,
// shadow excluded. GTK applies it to the window's surface. A window manager's
// frame (its title bar and borders, under X11) lies outside the surface, so the
// surface's minimum is smaller by the frame. A window that decorates itself
// (under Wayland) draws its title bar and its shadow inside the surface, and
// the compositor takes the shadow off GTK's minimum again, so the surface's
// minimum is larger by the shadow.
void WindowFrameKeeper::applyMinimumSize() {
  GtkWidget* widget = GTK_WIDGET(window_);
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
  gtk_window_set_geometry_hints(window_, nullptr, &minimum_, GDK_HINT_MIN_SIZE);
}

void WindowFrameKeeper::onSizeAllocate(GtkWidget*, GdkRectangle*, gpointer self) {
  static_cast<WindowFrameKeeper*>(self)->applyMinimumSize();
}

FrameObservation WindowFrameKeeper::observe() const {
  FrameObservation now;
  GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_));
  now.placement = surface ? placementOf(gdk_window_get_state(surface)) : WindowPlacement::normal;
  if (windowSystemReportsPositions(window_)) {
    FramePosition position;
    gtk_window_get_position(window_, &position.x, &position.y);
    now.position = position;
  }
  gtk_window_get_size(window_, &now.width, &now.height);
  return now;
}

void WindowFrameKeeper::scheduleSave() {
  if (saveTimer_) g_source_remove(saveTimer_);
  saveTimer_ = g_timeout_add(kFrameSaveDelayMilliseconds, onSaveTimer, this);
}

void WindowFrameKeeper::saveFramePromptly() {
  if (!saveTimer_) return;
  g_source_remove(saveTimer_);
  saveTimer_ = 0;
  writeFrame();
}

void WindowFrameKeeper::writeFrame() {
  const WindowFrame next = rememberFrame(frame_, observe());
  if (next == frame_) return;
  frame_ = next;
  store_.save(autosaveName_, frame_);  // a frame that cannot be saved is simply not remembered
}

gboolean WindowFrameKeeper::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
  auto* window = static_cast<WindowFrameKeeper*>(self);
  // The window manager's frame is known once it has framed the window.
  window->applyMinimumSize();
  window->scheduleSave();
  return FALSE;
}

gboolean WindowFrameKeeper::onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self) {
  static_cast<WindowFrameKeeper*>(self)->scheduleSave();
  return FALSE;
}

gboolean WindowFrameKeeper::onSaveTimer(gpointer self) {
  auto* window = static_cast<WindowFrameKeeper*>(self);
  window->saveTimer_ = 0;
  window->writeFrame();
  return G_SOURCE_REMOVE;
}

}  // namespace lumivant::gtk
