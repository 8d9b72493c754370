#include "browser/ContextMenuPolicy.h"

#include "browser/NavigationPolicy.h"

namespace lumivant {

namespace {

using Kind = ContextMenuChoice::Kind;

ContextMenuChoice choose(Kind kind, std::string title = {},
                         MenuAction action = MenuAction::reload) {
  return {kind, action, std::move(title)};
}

// What a click on a link to address would do in the one web view.
NewWindowEffect clickEffect(const std::optional<std::string>& address,
                            const std::optional<Url>& base) {
  return decideNewWindow(
      NavigationAction{address, NavigationType::linkActivated, false, /*isUserGesture=*/true},
      base);
}

bool isAppAddress(const std::optional<std::string>& address, const std::optional<Url>& base) {
  const std::optional<Url> url = address ? Url::parseReported(*address) : std::nullopt;
  return url && base && url->scheme() != "about" && isLocal(*url, base);
}

ContextMenuChoice menuItem(MenuAction action) {
  for (const Menu& menu : shellMainMenu().menus) {
    for (const MenuItem& item : menu.items) {
      if (item.action == action) return choose(Kind::menuItem, item.title, action);
    }
  }
  return choose(Kind::remove);
}

}  // namespace

ContextMenuChoice decideContextMenuItem(ContextMenuItem item,
                                        const std::optional<std::string>& address,
                                        const std::optional<Url>& base) {
  switch (item) {
    // There is no second window to open anything in.
    case ContextMenuItem::openLinkInNewWindow:
    case ContextMenuItem::openImageInNewWindow:
    case ContextMenuItem::openFrameInNewWindow:
    case ContextMenuItem::openMediaInNewWindow:
      return choose(Kind::remove);
    // The engine's own opening neither hands an outside link to the system
    // nor tells the user why nothing happened; the shell's does what a click
    // does, and offers nothing where a click would do nothing.
    case ContextMenuItem::openLink:
      return clickEffect(address, base) == NewWindowEffect::none
                 ? choose(Kind::remove)
                 : choose(Kind::openLink, "打开链接");
    // The engine fetches a download directly, past the navigation policy:
    // only the app's own files are saved this way.
    case ContextMenuItem::downloadLink:
    case ContextMenuItem::downloadImage:
    case ContextMenuItem::downloadMedia:
      return isAppAddress(address, base) ? choose(Kind::keep) : choose(Kind::remove);
    // The menu bar's items: the same words, and the same rules (back only to
    // the app's pages, a reload that retries a failed page or asks before
    // sending a form again).
    case ContextMenuItem::goBack:
      return menuItem(MenuAction::goBack);
    case ContextMenuItem::goForward:
      return menuItem(MenuAction::goForward);
    case ContextMenuItem::reload:
      return menuItem(MenuAction::reload);
    case ContextMenuItem::other:
      return choose(Kind::keep);
  }
  return choose(Kind::keep);
}

}  // namespace lumivant
