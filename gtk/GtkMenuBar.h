#pragma once

#include <gtk/gtk.h>

#include "host/MainMenu.h"

namespace lumivant::gtk {

// Whoever carries out the menu's actions; it outlives the menu bar.
class MenuActionHandler {
 public:
  virtual ~MenuActionHandler() = default;
  virtual void perform(MenuAction action) = 0;
};

// A menu bar with the menus, titles and order of menu, each item's shortcut
// installed in accelerators so that it works wherever the focus is in the window.
GtkWidget* buildMenuBar(const MainMenu& menu, GtkAccelGroup* accelerators,
                        MenuActionHandler& handler);

}  // namespace lumivant::gtk
