#include "DeveloperTools.h"

namespace lumivant::gtk {

namespace {

// Gives the engine's inspect item the shell's own label, in its place.
gboolean relabelInspectItem(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                            WebKitHitTestResult*, gpointer) {
  guint position = 0;
  for (GList* entry = webkit_context_menu_get_items(menu); entry; entry = entry->next, ++position) {
    auto* item = static_cast<WebKitContextMenuItem*>(entry->data);
    if (webkit_context_menu_item_get_stock_action(item) !=
        WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT)
      continue;
    webkit_context_menu_remove(menu, item);
    webkit_context_menu_insert(menu,
                               webkit_context_menu_item_new_from_stock_action_with_label(
                                   WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT, "检查元素"),
                               static_cast<gint>(position));
    break;
  }
  return FALSE;  // the menu shows, with whatever else other handlers make of it
}

}  // namespace

void enableDeveloperTools(WebKitWebView* view) {
  // With the developer extras the engine adds its inspect item to every
  // context menu; without them it has no inspector at all.
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view), TRUE);
  g_signal_connect(view, "context-menu", G_CALLBACK(relabelInspectItem), nullptr);
}

void showDeveloperTools(WebKitWebView* view) {
  if (!webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view))) return;
  webkit_web_inspector_show(webkit_web_view_get_inspector(view));
}

}  // namespace lumivant::gtk
