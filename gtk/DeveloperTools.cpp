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

gboolean detachSoon(gpointer inspector) {
  webkit_web_inspector_detach(WEBKIT_WEB_INSPECTOR(inspector));
  return G_SOURCE_REMOVE;
}

// Set on the inspector while it is open and has been given its own window.
constexpr const char* kOpenedUndocked = "lumivant-opened-undocked";

// The engine docks the inspector into the page's window whenever the window is
// large enough, which leaves the app's page a strip of it. The author gets it
// in a window of its own instead: the engine docks it and is asked to undock
// it once the docking has run its course. (An "attach" handler that does the
// docking itself leaves the engine with an inspector that it takes for docked
// and never shows.) Docked later with the inspector's own button, it stays.
gboolean openInItsOwnWindow(WebKitWebInspector* inspector, gpointer) {
  if (g_object_get_data(G_OBJECT(inspector), kOpenedUndocked)) return FALSE;
  g_object_set_data(G_OBJECT(inspector), kOpenedUndocked, GINT_TO_POINTER(1));
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, detachSoon, g_object_ref(inspector), g_object_unref);
  return FALSE;
}

void forgetOpening(WebKitWebInspector* inspector, gpointer) {
  g_object_set_data(G_OBJECT(inspector), kOpenedUndocked, nullptr);
}

}  // namespace

void enableDeveloperTools(WebKitWebView* view) {
  // With the developer extras the engine adds its inspect item to every
  // context menu; without them it has no inspector at all.
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view), TRUE);
  g_signal_connect(view, "context-menu", G_CALLBACK(relabelInspectItem), nullptr);
  WebKitWebInspector* inspector = webkit_web_view_get_inspector(view);
  g_signal_connect(inspector, "attach", G_CALLBACK(openInItsOwnWindow), nullptr);
  g_signal_connect(inspector, "closed", G_CALLBACK(forgetOpening), nullptr);
}

void showDeveloperTools(WebKitWebView* view) {
  if (!webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view))) return;
  webkit_web_inspector_show(webkit_web_view_get_inspector(view));
}

}  // namespace lumivant::gtk
