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
  }};
}

bool pageHasShortcutFirst(MenuAction action) { return action != MenuAction::terminate; }

}  // namespace lumivant
