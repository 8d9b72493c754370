#include "InstanceDialogs.h"

#include <gtk/gtk.h>

namespace lumivant::gtk {

void showUnresponsiveInstanceDialog() {
  // An alert of its own: there is no window of this launch to attach it to.
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s",
                             "这个数据目录的 Lumivant 已经开着，但没有回应。");
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                           "等它恢复，或者结束它以后再打开。");
  gtk_dialog_add_button(GTK_DIALOG(dialog), "好", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace lumivant::gtk
