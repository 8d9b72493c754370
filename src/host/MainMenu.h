#pragma once

#include <string>
#include <vector>

namespace lumivant {

// What a menu item does. Edit actions go to the web view and its focused field.
enum class MenuAction { terminate, undo, redo, cut, copy, paste, selectAll };

struct MenuItem {
  std::string title;
  MenuAction action;
  // A GTK accelerator string such as "<Primary>q"; <Primary> is Command on macOS.
  std::string shortcut;
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

struct MainMenu {
  std::vector<Menu> menus;
};

// The shell's menu bar: the application menu, then the edit menu.
MainMenu shellMainMenu();

}  // namespace lumivant
