#include "host/MainMenu.h"

namespace lumivant {

MainMenu shellMainMenu() {
  return MainMenu{{
      Menu{"Lumivant", {{"退出 Lumivant", MenuAction::terminate, "<Primary>q"}}},
      Menu{"编辑",
           {
               {"撤销", MenuAction::undo, "<Primary>z"},
               {"重做", MenuAction::redo, "<Primary><Shift>z"},
               {"剪切", MenuAction::cut, "<Primary>x"},
               {"复制", MenuAction::copy, "<Primary>c"},
               {"粘贴", MenuAction::paste, "<Primary>v"},
               {"全选", MenuAction::selectAll, "<Primary>a"},
           }},
      // The keys of every other browser, so that hands already know them; the
      // keypad's keys zoom as the main keyboard's do.
      Menu{"视图",
           {
               {"后退", MenuAction::goBack, "<Alt>Left"},
               {"前进", MenuAction::goForward, "<Alt>Right"},
               {"重新载入", MenuAction::reload, "F5", {"<Primary>r"}},
               {"放大", MenuAction::zoomIn, "<Primary>plus", {"<Primary>equal", "<Primary>KP_Add"}},
               {"缩小", MenuAction::zoomOut, "<Primary>minus", {"<Primary>KP_Subtract"}},
               {"实际大小", MenuAction::actualSize, "<Primary>0", {"<Primary>KP_0"}},
               {"在页面中查找…", MenuAction::findInPage, "<Primary>f"},
               {"查找下一个", MenuAction::findNext, "<Primary>g", {"F3"}},
               {"查找上一个", MenuAction::findPrevious, "<Primary><Shift>g", {"<Shift>F3"}},
               {"打印…", MenuAction::print, "<Primary>p"},
               {"全屏", MenuAction::toggleFullScreen, "F11"},
           }},
  }};
}

MainMenu withDeveloperToolsItem(MainMenu menu) {
  // Chromium's and Firefox's keys, which authors already use.
  const MenuItem item{"开发者工具", MenuAction::showDeveloperTools, "<Primary><Shift>i", {"F12"}};
  for (Menu& entry : menu.menus) {
    if (entry.title == "视图") entry.items.push_back(item);
  }
  return menu;
}

bool pageHasShortcutFirst(MenuAction action) {
  // The developer tools open whatever the page does with their keys, so that
  // a page that swallows every key can still be inspected.
  return action != MenuAction::terminate && action != MenuAction::goBack &&
         action != MenuAction::goForward && action != MenuAction::showDeveloperTools;
}

bool isEditAction(MenuAction action) {
  switch (action) {
    case MenuAction::undo:
    case MenuAction::redo:
    case MenuAction::cut:
    case MenuAction::copy:
    case MenuAction::paste:
    case MenuAction::selectAll:
      return true;
    default:
      return false;
  }
}

}  // namespace lumivant
