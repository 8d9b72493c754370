#pragma once

#include <string>
#include <vector>

namespace lumivant {

// What a menu item does. Edit actions go to the web view and its focused
// field; the view's actions go to the application, which decides whether and
// where they act.
enum class MenuAction {
  terminate,
  undo,
  redo,
  cut,
  copy,
  paste,
  selectAll,
  goBack,
  goForward,
  reload,
  zoomIn,
  zoomOut,
  actualSize,
  findInPage,
  findNext,
  findPrevious,
  print,
  toggleFullScreen,
  showDeveloperTools,
};

struct MenuItem {
  std::string title;
  MenuAction action;
  // A GTK accelerator string such as "<Primary>q"; <Primary> is Command on macOS.
  std::string shortcut;
  // Further keys for the same item, not shown in the menu.
  std::vector<std::string> moreShortcuts = {};
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

struct MainMenu {
  std::vector<Menu> menus;
};

// The shell's menu bar: the application menu, the edit menu, then the view menu.
MainMenu shellMainMenu();
// The menu with the view menu's item for the developer tools, for the app's author.
MainMenu withDeveloperToolsItem(MainMenu menu);

// Whether a key that the page handles itself keeps it from the menu item. The
// page has a key first so that its own editor (a notebook cell, a rich-text
// field) sees Ctrl+A, Ctrl+Z and the rest; quitting stays the shell's, so no
// page can keep the user from leaving, and so do back and forward, whose
// Alt+arrow keys the engine takes for itself on every page.
bool pageHasShortcutFirst(MenuAction action);

// Whether the web view's own editing carries out the action.
bool isEditAction(MenuAction action);

}  // namespace lumivant
