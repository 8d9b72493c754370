// The page's context menu: each of the engine's items read into the core's
// terms, and kept, removed or replaced as the navigation delegate decides.

#include <memory>
#include <optional>
#include <string>

#include "GObjectPtr.h"
#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

struct EngineItem {
  ContextMenuItem item = ContextMenuItem::other;
  std::optional<std::string> address;
};

std::optional<std::string> text(const gchar* value) {
  return value ? std::optional<std::string>(value) : std::nullopt;
}

EngineItem engineItemOf(WebKitContextMenuAction action, WebKitHitTestResult* hit) {
  const auto link = text(webkit_hit_test_result_get_link_uri(hit));
  const auto image = text(webkit_hit_test_result_get_image_uri(hit));
  const auto media = text(webkit_hit_test_result_get_media_uri(hit));
  switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK:
      return {ContextMenuItem::openLink, link};
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW:
      return {ContextMenuItem::openLinkInNewWindow, link};
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK:
      return {ContextMenuItem::downloadLink, link};
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW:
      return {ContextMenuItem::openImageInNewWindow, image};
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK:
      return {ContextMenuItem::downloadImage, image};
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW:
      return {ContextMenuItem::openFrameInNewWindow, std::nullopt};
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
      return {ContextMenuItem::openMediaInNewWindow, media};
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK:
      return {ContextMenuItem::downloadMedia, media};
    case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
      return {ContextMenuItem::goBack, std::nullopt};
    case WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD:
      return {ContextMenuItem::goForward, std::nullopt};
    case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
      return {ContextMenuItem::reload, std::nullopt};
    default:
      return {};
  }
}

// What a replacing item does when chosen: kept by its action until the
// menu lets go of it, and harmless once the view is gone.
struct Chosen {
  std::weak_ptr<GtkWebView> view;
  ContextMenuChoice choice;
  std::string address;
};

void deleteChosen(gpointer chosen, GClosure*) { delete static_cast<Chosen*>(chosen); }

bool isSeparator(WebKitContextMenuItem* item) {
  return webkit_context_menu_item_is_separator(item);
}

// Removing items can leave a separator first, last or beside another.
void tidySeparators(WebKitContextMenu* menu) {
  bool lastWasSeparator = true;  // none may come first
  for (guint i = 0; i < webkit_context_menu_get_n_items(menu);) {
    WebKitContextMenuItem* item = webkit_context_menu_get_item_at_position(menu, i);
    const bool separator = isSeparator(item);
    if (separator && lastWasSeparator) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    lastWasSeparator = separator;
    ++i;
  }
  const guint count = webkit_context_menu_get_n_items(menu);
  if (count > 0) {
    WebKitContextMenuItem* last = webkit_context_menu_last(menu);
    if (isSeparator(last)) webkit_context_menu_remove(menu, last);
  }
}

}  // namespace

void GtkWebView::onContextMenuItemChosen(GSimpleAction*, GVariant*, gpointer data) {
  const auto* chosen = static_cast<Chosen*>(data);
  auto view = chosen->view.lock();
  if (!view || !view->delegates_) return;
  if (chosen->choice.kind == ContextMenuChoice::Kind::openLink) {
    view->delegates_->navigation.openLinkChosen(chosen->address, view->presses_.chosenInMenu());
  } else if (view->menuActions_.perform) {
    view->menuActions_.perform(chosen->choice.action);
  }
}

gboolean GtkWebView::onContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                   WebKitHitTestResult* hit, gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  NavigationDelegate& navigation = view->delegates_->navigation;
  GList* items = g_list_copy(webkit_context_menu_get_items(menu));
  for (GList* entry = items; entry; entry = entry->next) {
    auto* item = static_cast<WebKitContextMenuItem*>(entry->data);
    const EngineItem engineItem =
        engineItemOf(webkit_context_menu_item_get_stock_action(item), hit);
    const ContextMenuChoice choice =
        navigation.decideContextMenuItem(engineItem.item, engineItem.address);
    if (choice.kind == ContextMenuChoice::Kind::keep) continue;
    // An item that cannot act now is left out: the engine draws an item of
    // the shell's own as usable whatever the state of its action.
    const bool canAct = choice.kind == ContextMenuChoice::Kind::openLink ||
                        !view->menuActions_.isEnabled ||
                        view->menuActions_.isEnabled(choice.action);
    if (choice.kind != ContextMenuChoice::Kind::remove && canAct) {
      // The engine keeps the menu's actions by name.
      const std::string name = "lumivant-" + std::to_string(static_cast<int>(engineItem.item));
      auto action = GObjectPtr<GSimpleAction>::adopt(g_simple_action_new(name.c_str(), nullptr));
      g_signal_connect_data(
          action.get(), "activate", G_CALLBACK(onContextMenuItemChosen),
          new Chosen{view->weak_from_this(), choice, engineItem.address.value_or("")}, deleteChosen,
          GConnectFlags{});
      WebKitContextMenuItem* replacement = webkit_context_menu_item_new_from_gaction(
          G_ACTION(action.get()), choice.title.c_str(), nullptr);
      webkit_context_menu_insert(menu, replacement,
                                 g_list_index(webkit_context_menu_get_items(menu), item));
    }
    webkit_context_menu_remove(menu, item);
  }
  g_list_free(items);
  tidySeparators(menu);
  return FALSE;  // the engine shows what is left
}

}  // namespace lumivant::gtk
