#include "GtkMainWindow.h"

namespace lumivant::gtk {

// Placeholders until the dialogs land: every sheet closes at once unanswered.
void GtkMainWindow::beginAlertSheet(const AlertSheet&, std::function<void(long)> done) { done(0); }
void GtkMainWindow::beginSavePanelSheet(const SavePanelSheet&,
                                        std::function<void(std::optional<std::string>)> done) {
  done(std::nullopt);
}
void GtkMainWindow::beginOpenPanelSheet(
    const OpenPanelSheet&, std::function<void(std::optional<std::vector<std::string>>)> done) {
  done(std::nullopt);
}

}  // namespace lumivant::gtk
