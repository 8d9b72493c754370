#include "PageFirstKeys.h"

#include <webkit2/webkit2.h>

#include <vector>

namespace lumivant::gtk {

namespace {

struct Shortcut {
  guint key = 0;
  GdkModifierType modifiers{};
};

// The shortcuts that stay the shell's whatever the page does with them.
struct ShellFirstShortcuts {
  std::vector<Shortcut> shortcuts;

  bool contain(const GdkEventKey* event) const {
    const auto modifiers =
        static_cast<GdkModifierType>(event->state & gtk_accelerator_get_default_mod_mask());
    const guint key = gdk_keyval_to_lower(event->keyval);
    for (const Shortcut& shortcut : shortcuts) {
      if (shortcut.key == key && shortcut.modifiers == modifiers) return true;
    }
    return false;
  }
};

// The order of GNOME Web's window (ephy-window.c): the focused web view first,
// then the accelerators and mnemonics, then the window's key bindings. The web
// view takes every key at first and hands an unhandled one back to the window
// later (gtk_propagate_event, which runs this handler again); the second time
// the web view passes it on and the accelerators get their turn.
gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  const auto* shellFirst = static_cast<const ShellFirstShortcuts*>(data);
  GtkWindow* window = GTK_WINDOW(widget);
  GtkWidget* focus = gtk_window_get_focus(window);
  if (!focus || !WEBKIT_IS_WEB_VIEW(focus) || shellFirst->contain(event)) {
    return FALSE;  // GtkWindow's own order
  }
  if (gtk_window_propagate_key_event(window, event)) return TRUE;
  if (gtk_window_activate_key(window, event)) return TRUE;
  // Returning FALSE would run GtkWindow's handler, which hands the key to the
  // web view once more; its last step, the key bindings, is done here instead.
  gtk_bindings_activate_event(G_OBJECT(window), event);
  return TRUE;
}

void destroyShortcuts(gpointer data, GClosure*) { delete static_cast<ShellFirstShortcuts*>(data); }

}  // namespace

void givePageKeysFirst(GtkWindow* window, const MainMenu& menu) {
  auto* shellFirst = new ShellFirstShortcuts;
  for (const Menu& entry : menu.menus) {
    for (const MenuItem& item : entry.items) {
      if (pageHasShortcutFirst(item.action)) continue;
      Shortcut shortcut;
      gtk_accelerator_parse(item.shortcut.c_str(), &shortcut.key, &shortcut.modifiers);
      if (shortcut.key != 0) shellFirst->shortcuts.push_back(shortcut);
    }
  }
  g_signal_connect_data(window, "key-press-event", G_CALLBACK(onKeyPress), shellFirst,
                        destroyShortcuts, GConnectFlags{});
}

}  // namespace lumivant::gtk
