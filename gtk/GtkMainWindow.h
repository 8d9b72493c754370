#pragma once

#include <gtk/gtk.h>

#include <string>

#include "GObjectPtr.h"
#include "GtkDownloadRows.h"
#include "WindowFrameStore.h"
#include "host/Host.h"

namespace lumivant::gtk {

// The one top-level window: the menu bar above the web view, a frame that the
// user's moves and resizes shape and that the next launch restores, and the
// parent of the shell's dialogs. The web view sits in an overlay that also
// holds the starting indicator; the overlay is the window's content below the
// menu bar.
class GtkMainWindow final : public Window {
 public:
  // menuBar may be null. The frame saved under settings.frameAutosaveName in
  // store wins over the first-run frame, centred at the settings' size.
  GtkMainWindow(const WindowSettings& settings, GtkWidget* content, GtkWidget* menuBar,
                GtkAccelGroup* accelerators, WindowFrameStore store);
  ~GtkMainWindow() override;
  GtkMainWindow(const GtkMainWindow&) = delete;
  GtkMainWindow& operator=(const GtkMainWindow&) = delete;

  GtkWindow* window() const { return window_.get(); }
  void show();
  // Writes a frame change that is still waiting for its debounce timer.
  void saveFramePromptly();
  bool hasUnsavedFrame() const { return saveTimer_ != 0; }

  void beginAlertSheet(const AlertSheet& alert, std::function<void(long)> done) override;
  void beginPromptSheet(const PromptSheet& prompt,
                        std::function<void(long, std::string)> done) override;
  void showDownloadRows(const std::vector<DownloadRow>& rows) override;
  const GtkDownloadRows& downloadRows() const { return downloadRows_; }
  void beginSavePanelSheet(const SavePanelSheet& panel,
                           std::function<void(std::optional<std::string>)> done) override;
  void beginOpenPanelSheet(
      const OpenPanelSheet& panel,
      std::function<void(std::optional<std::vector<std::string>>)> done) override;
  void showStartingIndicator(const std::string& text) override;
  void hideStartingIndicator() override;

  // The overlay of the web view and the starting indicator.
  GtkWidget* content() const { return overlay_; }
  bool isStartingIndicatorVisible() const;

 private:
  GtkWidget* buildStartingIndicator();

  void restoreFrame(const WindowSettings& settings);
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

  GObjectPtr<GtkWindow> window_;
  GtkDownloadRows downloadRows_;
  GtkWidget* overlay_ = nullptr;    // owned by the window
  GtkWidget* indicator_ = nullptr;  // owned by the overlay
  GtkWidget* spinner_ = nullptr;
  GtkWidget* indicatorLabel_ = nullptr;
  const std::string autosaveName_;
  const WindowFrameStore store_;
  WindowFrame frame_;  // the normal frame, and whether the window is maximised on it
  const int minWidth_;
  const int minHeight_;
  GdkGeometry minimum_{};  // the hints last given to the window system
  guint saveTimer_ = 0;
};

// How long the frame must stay put before it is written.
inline constexpr guint kFrameSaveDelayMilliseconds = 400;

}  // namespace lumivant::gtk
