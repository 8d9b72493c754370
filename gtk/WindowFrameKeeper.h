#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "WindowFrameStore.h"
#include "host/WindowSettings.h"

namespace lumivant::gtk {

// Keeps a top-level window's frame: restores the frame saved under the
// settings' autosave name (or centres the first-run size), keeps the minimum
// size for the window as the user sees it, and writes the frame the user's
// moves and resizes leave once it has stayed put for a moment.
class WindowFrameKeeper {
 public:
  // Sets the window's default size and position at once; the window is not
  // shown yet. window must outlive the keeper.
  WindowFrameKeeper(GtkWindow* window, const WindowSettings& settings, WindowFrameStore store);
  // Writes a frame change that is still waiting.
  ~WindowFrameKeeper();
  WindowFrameKeeper(const WindowFrameKeeper&) = delete;
  WindowFrameKeeper& operator=(const WindowFrameKeeper&) = delete;

  // Called once the window has been shown at its normal frame.
  void windowShown();
  // Writes a frame change that is still waiting for its debounce timer.
  void saveFramePromptly();
  bool hasUnsavedFrame() const { return saveTimer_ != 0; }

 private:
  void restoreFrame(const WindowSettings& settings);
  // What the window system and the window draw around the reported size.
  FrameInsets decorations() const;
  // Fits the frame into its monitor's work area with the decorations, which
  // are known once the window is mapped; once.
  void fitOnceMapped();
  // Keeps the minimum for the window as the user sees it, title bar included
  // and shadow excluded, whoever draws the title bar.
  void applyMinimumSize();
  // What the window system shows now; read when a change has settled, since
  // window managers report a new size and the state behind it in either order.
  FrameObservation observe() const;
  void scheduleSave();
  void writeFrame();
  static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
  static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
  static gboolean onSaveTimer(gpointer self);
  static void onSizeAllocate(GtkWidget*, GdkRectangle*, gpointer self);
  static gboolean onMap(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onFitTimer(gpointer self);

  GtkWindow* const window_;
  const std::string autosaveName_;
  const WindowFrameStore store_;
  WindowFrame frame_;  // the normal frame, and whether the window is maximised on it
  int minWidth_;
  int minHeight_;
  GdkGeometry minimum_{};  // the hints last given to the window system
  guint saveTimer_ = 0;
  // The frame shown when the remembered one had to be fitted to the screen.
  std::optional<WindowFrame> fittedShown_;
  bool fittedOnceMapped_ = false;
  guint fitTimer_ = 0;
  int fitAttemptsLeft_ = 0;
};

// How often, and how many times, a mapped window looks for its decorations.
inline constexpr guint kFitAttemptMilliseconds = 100;
inline constexpr int kFitAttempts = 30;

// How long the frame must stay put before it is written.
inline constexpr guint kFrameSaveDelayMilliseconds = 400;

}  // namespace lumivant::gtk
