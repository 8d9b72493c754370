#include "GtkMenuBar.h"

namespace lumivant::gtk {

namespace {

struct ItemAction {
  MenuActionHandler* handler;
  MenuAction action;
};

void onItemActivate(GtkMenuItem*, gpointer data) {
  const auto* item = static_cast<ItemAction*>(data);
  item->handler->perform(item->action);
}

void destroyItemAction(gpointer data, GClosure*) { delete static_cast<ItemAction*>(data); }

void addAccelerator(GtkWidget* widget, const std::string& shortcut, GtkAccelGroup* accelerators,
                    GtkAccelFlags flags) {
  guint key = 0;
  GdkModifierType modifiers{};
  gtk_accelerator_parse(shortcut.c_str(), &key, &modifiers);
  if (key != 0) gtk_widget_add_accelerator(widget, "activate", accelerators, key, modifiers, flags);
}

GtkWidget* buildItem(const MenuItem& item, GtkAccelGroup* accelerators,
                     MenuActionHandler& handler) {
  GtkWidget* widget = gtk_menu_item_new_with_label(item.title.c_str());
  // The menu shows the first shortcut; the others work all the same.
  addAccelerator(widget, item.shortcut, accelerators, GTK_ACCEL_VISIBLE);
  for (const std::string& shortcut : item.moreShortcuts) {
    addAccelerator(widget, shortcut, accelerators, GtkAccelFlags{});
  }
  g_signal_connect_data(widget, "activate", G_CALLBACK(onItemActivate),
                        new ItemAction{&handler, item.action}, destroyItemAction, GConnectFlags{});
  return widget;
}

}  // namespace

GtkWidget* buildMenuBar(const MainMenu& menu, GtkAccelGroup* accelerators,
                        MenuActionHandler& handler, MenuItemWidgets& items) {
  GtkWidget* bar = gtk_menu_bar_new();
  for (const Menu& entry : menu.menus) {
    GtkWidget* submenu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(submenu), accelerators);
    for (const MenuItem& item : entry.items) {
      GtkWidget* widget = buildItem(item, accelerators, handler);
      items[item.action] = widget;
      gtk_menu_shell_append(GTK_MENU_SHELL(submenu), widget);
    }
    GtkWidget* title = gtk_menu_item_new_with_label(entry.title.c_str());
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(title), submenu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), title);
  }
  return bar;
}

}  // namespace lumivant::gtk
