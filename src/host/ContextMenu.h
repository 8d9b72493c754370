#pragma once

#include <string>

#include "host/MainMenu.h"

namespace lumivant {

// The items of the page's context menu that the shell looks at, as the engine
// offers them; everything else (copy, paste, the spelling suggestions) is
// kept as it comes.
enum class ContextMenuItem {
  openLink,
  openLinkInNewWindow,
  downloadLink,
  openImageInNewWindow,
  downloadImage,
  openFrameInNewWindow,
  openMediaInNewWindow,
  downloadMedia,
  goBack,
  goForward,
  reload,
  other
};

// What becomes of one item: kept as the engine made it, removed, made into
// the shell's own opening of the link (as a click on it would), or made into
// the main menu's item of the same action, with its title.
struct ContextMenuChoice {
  enum class Kind { keep, remove, openLink, menuItem };
  Kind kind = Kind::keep;
  MenuAction action = MenuAction::reload;  // of a menuItem
  std::string title;                       // of an openLink or a menuItem
};

}  // namespace lumivant
