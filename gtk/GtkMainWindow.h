#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>

#include "GObjectPtr.h"
#include "GtkDownloadRows.h"
#include "GtkFindBar.h"
#include "InWindowSheets.h"
#include "WindowFrameKeeper.h"
#include "WindowFrameStore.h"
#include "host/Host.h"

namespace lumivant::gtk {

// The one top-level window: the menu bar above the web view, a frame that the
// user's moves and resizes shape and that the next launch restores, and the
// parent of the shell's dialogs (under Wayland, the place of its alerts,
// prompts and file choosers). Below the menu bar the window shows either
// the web view or, in its place, the starting indicator.
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
  void saveFramePromptly() { frameKeeper_->saveFramePromptly(); }
  bool hasUnsavedFrame() const { return frameKeeper_->hasUnsavedFrame(); }

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
  void announce(const std::string& text) override;
  void showFindBar() override;
  void findAgain(FindDirection direction) override;
  // The page alone: no menu bar, find bar or download rows, the window
  // undecorated over the whole screen, whether the user asked (F11) or the
  // page did (requestFullscreen); Escape, unless the page takes it, leaves.
  void toggleFullScreen() override;
  bool isFullScreen() const { return fullScreen_; }
  // Nothing when the content is not a web view.
  const GtkFindBar* findBar() const { return findBar_.get(); }

  bool isStartingIndicatorVisible() const;

 private:
  GtkWidget* buildStartingIndicator();
  static void repaintPage(GtkWidget* page);
  static gboolean onFocusIn(GtkWidget*, GdkEventFocus*, gpointer page);
  static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
  static gboolean onLeaveKey(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer self);
  void presentFullScreen(bool fullScreen);

  GObjectPtr<GtkWindow> window_;
  GtkDownloadRows downloadRows_;
  std::unique_ptr<GtkFindBar> findBar_;
  GtkWidget* stack_ = nullptr;    // owned by the window
  GtkWidget* menuBar_ = nullptr;  // owned by the window; may be null
  bool fullScreen_ = false;
  // Escape's shortcut, in the window only while it is full screen.
  GObjectPtr<GtkAccelGroup> leaveFullScreenKeys_;
  GtkWidget* content_ = nullptr;    // the web view, owned by the stack
  GtkWidget* indicator_ = nullptr;  // owned by the stack
  GtkWidget* spinner_ = nullptr;
  GtkWidget* indicatorLabel_ = nullptr;
  // Never drawn: what announce() says goes through it.
  GtkWidget* announcer_ = nullptr;  // owned by the window
  std::unique_ptr<InWindowSheets> sheets_;
  bool alertsInWindow_ = false;
  std::optional<WindowFrameKeeper> frameKeeper_;  // set once the window is built
};

}  // namespace lumivant::gtk
