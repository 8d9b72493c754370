#pragma once

#include <gtk/gtk.h>

#include "host/MainMenu.h"

namespace lumivant::gtk {

// Lets the page have a key pressed while a web view has the window's focus
// before the menu's shortcuts do: GtkWindow tries its accelerators first, so a
// page's own editor would never see Ctrl+A or Ctrl+Z. A key the page leaves
// unhandled comes back from the engine and then reaches the menu's shortcut.
// Shortcuts of items that the page may not take (quitting) keep GtkWindow's
// order. Installed once on the window; lives as long as the window.
void givePageKeysFirst(GtkWindow* window, const MainMenu& menu);

}  // namespace lumivant::gtk
