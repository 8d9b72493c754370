#pragma once

#include <gtk/gtk.h>

#include "app/Host.h"

namespace lumivant::gtk {

// The main window as the parent of the shell's sheets.
class GtkMainWindow final : public Window {
 public:
  explicit GtkMainWindow(GtkWindow* window) : window_(window) {}

  GtkWindow* window() const { return window_; }

  void beginAlertSheet(const AlertSheet& alert, std::function<void(long)> done) override;
  void beginSavePanelSheet(const SavePanelSheet& panel,
                           std::function<void(std::optional<std::string>)> done) override;
  void beginOpenPanelSheet(const OpenPanelSheet& panel,
                           std::function<void(std::optional<std::vector<std::string>>)> done) override;

 private:
  GtkWindow* window_;  // owned by GTK; lives until the application quits
};

}  // namespace lumivant::gtk
