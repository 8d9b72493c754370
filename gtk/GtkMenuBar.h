#pragma once

#include <gtk/gtk.h>

#include <map>

#include "host/MainMenu.h"

namespace lumivant::gtk {

// Whoever carries out the menu's actions; it outlives the menu bar.
class MenuActionHandler {
 public:
  virtual ~MenuActionHandler() = default;
  virtual void perform(MenuAction action) = 0;
};

// The items of a built menu bar by their action, owned by the bar.
using MenuItemWidgets = std::map<MenuAction, GtkWidget*>;

// A menu bar with the menus, titles and order of menu, each item's shortcuts
// installed in accelerators so that they work wherever the focus is in the
// window. items receives each item's widget.
GtkWidget* buildMenuBar(const MainMenu& menu, GtkAccelGroup* accelerators,
                        MenuActionHandler& handler, MenuItemWidgets& items);

}  // namespace lumivant::gtk
