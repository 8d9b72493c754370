#include "WindowFrameKeeper.h"

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <memory>

namespace lumivant::gtk {

namespace {

// Whether the window system reports its panels: a Wayland compositor gives
// the whole monitor as the work area.
bool workAreasLeaveOutPanels(GdkDisplay* display) {
#ifdef GDK_WINDOWING_WAYLAND
  if (GDK_IS_WAYLAND_DISPLAY(display)) return false;
#endif
  (void)display;
  return true;
}

// The work areas of the monitors, the primary one first: where a frame
// without a position is shown. Where the panels are not known, each leaves
// room for them.
std::vector<ScreenArea> workAreas() {
  std::vector<ScreenArea> areas;
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return areas;
  const bool panelsKnown = workAreasLeaveOutPanels(display);
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  const int monitors = gdk_display_get_n_monitors(display);
  for (int i = 0; i < monitors; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    if (area.width <= 0 || area.height <= 0) continue;
    ScreenArea screenArea{area.x, area.y, area.width, area.height};
    if (!panelsKnown) screenArea = roomBesidePanels(screenArea);
    if (monitor == primary) {
      areas.insert(areas.begin(), screenArea);
    } else {
      areas.push_back(screenArea);
    }
  }
  return areas;
}

// Room for a title bar that the window manager has not drawn yet, and for
// its borders on both sides.
constexpr int kTallestTitleBar = 64;
constexpr int kWidestBorders = 32;

// Whether the window system tells clients where their windows are. A Wayland
// compositor does not: GTK's idea of the position there is made up.
bool windowSystemReportsPositions(GtkWindow* window) {
#ifdef GDK_WINDOWING_WAYLAND
  if (GDK_IS_WAYLAND_DISPLAY(gtk_widget_get_display(GTK_WIDGET(window)))) return false;
#endif
  (void)window;
  return true;
}

// Whether the window draws its own title bar, inside its surface and outside
// the size it reports. GTK does under Wayland.
bool windowDrawsItsTitleBar(GtkWindow* window) { return !windowSystemReportsPositions(window); }

// The frame an X11 window manager says it draws around the window
// (_NET_FRAME_EXTENTS), in the window's units; nothing where it says nothing.
// Read as the window manager keeps it, in whole pixels and apart from the
// window's size, which GDK's frame rectangle divides and rounds together.
std::optional<FrameInsets> reportedFrame(GdkWindow* surface) {
#ifdef GDK_WINDOWING_X11
  if (!GDK_IS_X11_WINDOW(surface)) return std::nullopt;
  GdkAtom type = GDK_NONE;
  gint format = 0;
  gint length = 0;
  guchar* data = nullptr;
  if (!gdk_property_get(surface, gdk_atom_intern_static_string("_NET_FRAME_EXTENTS"),
                        gdk_atom_intern_static_string("CARDINAL"), 0, gulong{4} * 4, FALSE, &type,
                        &format, &length, &data)) {
    return std::nullopt;
  }
  const std::unique_ptr<guchar, decltype(&g_free)> owned(data, g_free);
  // Asked for in 32-bit items' bytes, handed over as longs, as Xlib does.
  if (format != 32 || length < static_cast<gint>(4 * sizeof(long))) return std::nullopt;
  const auto* pixels = reinterpret_cast<const long*>(data);
  return insetsInWindowUnits(FrameInsets{static_cast<int>(pixels[0]), static_cast<int>(pixels[1]),
                                         static_cast<int>(pixels[2]), static_cast<int>(pixels[3])},
                             gdk_window_get_scale_factor(surface));
#else
  (void)surface;
  return std::nullopt;
#endif
}

// The window manager's frame around the surface: as it reports it, or else
// as GDK finds it from the window that holds the surface.
FrameInsets windowManagerFrame(GdkWindow* surface) {
  if (const auto reported = reportedFrame(surface)) return *reported;
  FrameInsets insets;
  GdkRectangle frame{};
  gdk_window_get_frame_extents(surface, &frame);
  int x = 0;
  int y = 0;
  gdk_window_get_origin(surface, &x, &y);
  const int width = gdk_window_get_width(surface);
  const int height = gdk_window_get_height(surface);
  if (frame.width > width || frame.height > height) {
    insets.left = std::max(0, x - frame.x);
    insets.top = std::max(0, y - frame.y);
    insets.right = std::max(0, frame.width - width - insets.left);
    insets.bottom = std::max(0, frame.height - height - insets.top);
  }
  return insets;
}

WindowPlacement placementOf(GdkWindowState state) {
  return placementOf(WindowStates{.maximized = (state & GDK_WINDOW_STATE_MAXIMIZED) != 0,
                                  .fullscreen = (state & GDK_WINDOW_STATE_FULLSCREEN) != 0,
                                  .minimized = (state & GDK_WINDOW_STATE_ICONIFIED) != 0,
                                  .tiled = (state & GDK_WINDOW_STATE_TILED) != 0});
}

}  // namespace

WindowFrameKeeper::WindowFrameKeeper(GtkWindow* window, const WindowSettings& settings,
                                     WindowFrameStore store)
    : window_(window),
      autosaveName_(settings.frameAutosaveName),
      store_(std::move(store)),
      minWidth_(settings.minWidth),
      minHeight_(settings.minHeight) {
  // Restored first: a screen smaller than the minimum lowers it.
  restoreFrame(settings);
  // Under X11 the minimum holds for the surface alone, inside the window
  // manager's frame, which is not known yet: until it is (applyMinimumSize),
  // a window left at the minimum keeps the size it was left at.
  const bool frameOutside = !windowDrawsItsTitleBar(window_);
  minimum_.min_width = frameOutside ? std::min(minWidth_, frame_.width) : minWidth_;
  minimum_.min_height = frameOutside ? std::min(minHeight_, frame_.height) : minHeight_;
  gtk_window_set_geometry_hints(window_, nullptr, &minimum_, GDK_HINT_MIN_SIZE);
  g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(onMap), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(window_, "size-allocate", G_CALLBACK(onSizeAllocate), this);
}

WindowFrameKeeper::~WindowFrameKeeper() {
  if (fitTimer_) g_source_remove(fitTimer_);
  saveFramePromptly();
  g_signal_handlers_disconnect_by_data(window_, this);
}

void WindowFrameKeeper::restoreFrame(const WindowSettings& settings) {
  const auto saved = store_.load(autosaveName_);
  frame_ = saved.value_or(WindowFrame{std::nullopt, settings.width, settings.height, false});
  WindowFrame wanted = frame_;
  // The saved size leaves out the title bar, drawn by the window itself or
  // by the window manager, and the manager's borders; the minimum includes
  // them. How large they are shows once the window is mapped, when the
  // minimum given then raises a window still too small. Under X11 a size
  // further below than any frame explains was never shown: it is raised to
  // the minimum before mapping, so that it is placed as it will be shown.
  const auto raised = [](int saved, int minimum, int largestFrame) {
    return saved >= minimum - largestFrame ? saved : minimum;
  };
  if (windowDrawsItsTitleBar(window_)) {
    wanted.width = std::max(wanted.width, minWidth_);
    wanted.height = std::max(wanted.height, minHeight_ - kTallestTitleBar);
  } else {
    wanted.width = raised(wanted.width, minWidth_, kWidestBorders);
    wanted.height = raised(wanted.height, minHeight_, kTallestTitleBar);
  }
  if (!windowSystemReportsPositions(window_)) wanted.position.reset();
  // The decorations are not known before the window is shown: fitted here
  // with room for the tallest title bar, and once more, with the real ones,
  // when the window manager has framed it.
  const std::vector<ScreenArea> areas = workAreas();
  const FittedFrame fit = fitFrame(wanted, areas, FrameInsets{0, 0, kTallestTitleBar, 0});
  if (fit.fitted) fittedShown_ = fit.frame;
  // A screen smaller than the minimum (a small one at a scale of 2) gets a
  // window that fits it rather than one whose title bar is out of reach.
  if (!areas.empty()) {
    minWidth_ = std::min(minWidth_, areas.front().width);
    minHeight_ = std::min(minHeight_, areas.front().height);
  }
  gtk_window_set_default_size(window_, fit.frame.width, fit.frame.height);
  if (fit.frame.position) {
    gtk_window_move(window_, fit.frame.position->x, fit.frame.position->y);
  } else {
    gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  }
}

FrameInsets WindowFrameKeeper::decorations() const {
  GtkWidget* widget = GTK_WIDGET(window_);
  GdkWindow* surface = gtk_widget_get_window(widget);
  if (!surface) return FrameInsets{};
  FrameInsets insets = windowManagerFrame(surface);
  // A title bar the window draws itself lies inside the surface, above the
  // content, and outside the size the window reports: the window's other child.
  struct TitleBarSearch {
    GtkWidget* content;
    int height;
  } search{gtk_bin_get_child(GTK_BIN(widget)), 0};
  gtk_container_forall(
      GTK_CONTAINER(widget),
      [](GtkWidget* child, gpointer data) {
        auto* search = static_cast<TitleBarSearch*>(data);
        if (child == search->content || !gtk_widget_get_visible(child)) return;
        search->height = std::max(search->height, gtk_widget_get_allocated_height(child));
      },
      &search);
  insets.top += search.height;
  return insets;
}

void WindowFrameKeeper::fitOnceMapped() {
  if (fittedOnceMapped_ || !gtk_widget_get_mapped(GTK_WIDGET(window_))) return;
  const FrameObservation now = observe();
  if (now.placement != WindowPlacement::normal) return;
  const FrameInsets insets = decorations();
  // A window manager frames the window a moment after it is mapped; until
  // then (and where nothing ever decorates it) the fit before mapping holds.
  if (insets.left == 0 && insets.right == 0 && insets.top == 0 && insets.bottom == 0) return;
  fittedOnceMapped_ = true;
  const FittedFrame fit =
      fitFrame(WindowFrame{now.position, now.width, now.height, false}, workAreas(), insets);
  if (!fit.fitted) return;
  // The minimum given before the frame was known is the whole work area on a
  // small screen, and GTK would hold the window to it.
  applyMinimumSize();
  fittedShown_ = fit.frame;
  gtk_window_resize(window_, fit.frame.width, fit.frame.height);
  if (fit.frame.position) {
    gtk_window_move(window_, fit.frame.position->x, fit.frame.position->y);
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
  // The window's allocation and its children's are made together; the
  // surface may already have the size of a resize still being laid out.
  GtkAllocation whole{};
  gtk_widget_get_allocation(widget, &whole);
  const int top = search.top;
  const int left = inner.x;
  const int right = whole.width - inner.x - inner.width;
  const int bottom = whole.height - inner.y - inner.height;
  if (left < 0 || right < 0 || top < 0 || bottom < 0) return;
  const FrameInsets frame = windowManagerFrame(surface);
  const int frameWidth = frame.left + frame.right;
  const int frameHeight = frame.top + frame.bottom;
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
  const FrameMemory next = rememberFrame(FrameMemory{frame_, fittedShown_}, observe());
  fittedShown_ = next.fittedShown;
  if (next.remembered == frame_) return;
  frame_ = next.remembered;
  store_.save(autosaveName_, frame_);  // a frame that cannot be saved is simply not remembered
}

gboolean WindowFrameKeeper::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
  auto* window = static_cast<WindowFrameKeeper*>(self);
  // The window manager's frame is known once it has framed the window.
  window->applyMinimumSize();
  window->fitOnceMapped();
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

// A window manager publishes its frame some time after the window is mapped,
// and nothing need tell the window when it does: it is looked for a while.
gboolean WindowFrameKeeper::onMap(GtkWidget*, GdkEvent*, gpointer self) {
  auto* keeper = static_cast<WindowFrameKeeper*>(self);
  if (!keeper->fitTimer_ && !keeper->fittedOnceMapped_) {
    keeper->fitAttemptsLeft_ = kFitAttempts;
    keeper->fitTimer_ = g_timeout_add(kFitAttemptMilliseconds, onFitTimer, keeper);
  }
  return FALSE;
}

gboolean WindowFrameKeeper::onFitTimer(gpointer self) {
  auto* keeper = static_cast<WindowFrameKeeper*>(self);
  keeper->fitOnceMapped();
  if (keeper->fittedOnceMapped_ || --keeper->fitAttemptsLeft_ <= 0) {
    keeper->fitTimer_ = 0;
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace lumivant::gtk
