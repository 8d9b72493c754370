#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "host/Host.h"

// What a save or open panel asks and where it starts, the same whether the
// chooser is the desktop's own dialog or drawn inside the window.
namespace lumivant::gtk {

struct ChooserLook {
  GtkFileChooserAction action;
  std::string title;
  std::string acceptLabel;
};

inline constexpr const char* kCancelChooserButton = "取消";

ChooserLook savePanelLook(const SavePanelSheet& panel);
// Opens the download folder, else the home folder, with the suggested name.
void setUpSavePanel(GtkFileChooser* chooser, const SavePanelSheet& panel);

// A GTK chooser picks either files or folders; files win when both are allowed.
ChooserLook openPanelLook(const OpenPanelSheet& panel);
void setUpOpenPanel(GtkFileChooser* chooser, const OpenPanelSheet& panel);

// The chosen files that have a local path, in the chooser's order.
std::vector<std::string> chosenPaths(GtkFileChooser* chooser);

}  // namespace lumivant::gtk
