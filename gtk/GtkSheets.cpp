#include "GtkSheets.h"

#include "AnswerOnce.h"
#include "FileChooserSettings.h"
#include "GObjectPtr.h"

namespace lumivant::gtk {

namespace {

// What an alert's answer means to the caller: 1000 for the first button and
// so on; 0 when it was closed without a button.
long alertResponse(gint response) {
  return response >= kAlertFirstButtonReturn ? static_cast<long>(response) : 0;
}

struct AlertAnswer {
  std::function<void(long)> done;
  std::shared_ptr<SheetWithdrawal> withdrawal;
  ~AlertAnswer() {
    if (withdrawal) withdrawal->whileShown(nullptr);
  }
};

void onAlertResponse(GtkDialog* dialog, gint response, gpointer data) {
  static_cast<AlertAnswer*>(data)->done(alertResponse(response));
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

void destroyAlertAnswer(gpointer data, GClosure*) { delete static_cast<AlertAnswer*>(data); }

struct PromptAnswer {
  GtkEntry* entry;  // owned by the dialog, which outlives every response
  std::function<void(long, std::string)> done;
};

void onPromptResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* answer = static_cast<PromptAnswer*>(data);
  answer->done(alertResponse(response), gtk_entry_get_text(answer->entry));
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

void destroyPromptAnswer(gpointer data, GClosure*) { delete static_cast<PromptAnswer*>(data); }

// A message dialog for the given text and buttons, the first being the default.
GtkWidget* newMessageDialog(GtkWindow* parent, const std::string& message,
                            const std::string& informative,
                            const std::vector<std::string>& buttons) {
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_OTHER,
      GTK_BUTTONS_NONE, "%s", message.c_str());
  if (!informative.empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", informative.c_str());
  }
  const std::vector<std::string> labels =
      buttons.empty() ? std::vector<std::string>{kDefaultAlertButton} : buttons;
  for (size_t i = 0; i < labels.size(); ++i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), labels[i].c_str(),
                          static_cast<gint>(kAlertFirstButtonReturn + static_cast<long>(i)));
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), static_cast<gint>(kAlertFirstButtonReturn));
  return dialog;
}

// A file chooser lives until it answers: the answer holds the only reference.
struct ChooserAnswer {
  GObjectPtr<GtkFileChooserNative> chooser;
  std::function<void(GtkFileChooser*, bool accepted)> done;
};

void onChooserResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* answer = static_cast<ChooserAnswer*>(data);
  answer->done(GTK_FILE_CHOOSER(dialog), response == GTK_RESPONSE_ACCEPT);
  // Dropping the handler frees the answer and with it the chooser, once this
  // emission has finished.
  g_signal_handlers_disconnect_by_data(dialog, data);
}

void destroyChooserAnswer(gpointer data, GClosure*) { delete static_cast<ChooserAnswer*>(data); }

void showChooser(GObjectPtr<GtkFileChooserNative> chooser,
                 std::function<void(GtkFileChooser*, bool)> done) {
  GtkFileChooserNative* raw = chooser.get();
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(raw), TRUE);
  g_signal_connect_data(raw, "response", G_CALLBACK(onChooserResponse),
                        new ChooserAnswer{std::move(chooser), std::move(done)},
                        destroyChooserAnswer, GConnectFlags{});
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(raw));
}

std::optional<std::string> pathOf(GFile* file) {
  if (!file) return std::nullopt;
  g_autofree char* path = g_file_get_path(file);
  if (!path) return std::nullopt;
  return std::string(path);
}

GObjectPtr<GtkFileChooserNative> newChooser(GtkWindow* parent, const ChooserLook& look) {
  return GObjectPtr<GtkFileChooserNative>::adopt(gtk_file_chooser_native_new(
      look.title.c_str(), parent, look.action, look.acceptLabel.c_str(), kCancelChooserButton));
}

}  // namespace

void runAlertSheet(GtkWindow* parent, const AlertSheet& alert, std::function<void(long)> done) {
  if (alert.withdrawal && alert.withdrawal->withdrawn()) return done(0);
  GtkWidget* dialog =
      newMessageDialog(parent, alert.messageText, alert.informativeText, alert.buttons);
  // A dialog destroyed unanswered, with its parent say, answers as closed;
  // one withdrawn is destroyed so.
  if (alert.withdrawal) alert.withdrawal->whileShown([dialog] { gtk_widget_destroy(dialog); });
  g_signal_connect_data(dialog, "response", G_CALLBACK(onAlertResponse),
                        new AlertAnswer{answerOnce<long>(std::move(done), {0}), alert.withdrawal},
                        destroyAlertAnswer, GConnectFlags{});
  gtk_window_present(GTK_WINDOW(dialog));
}

void runPromptSheet(GtkWindow* parent, const PromptSheet& prompt,
                    std::function<void(long, std::string)> done) {
  GtkWidget* dialog = newMessageDialog(parent, prompt.messageText, {}, prompt.buttons);
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), prompt.defaultText.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
  gtk_widget_show(entry);
  g_signal_connect_data(
      dialog, "response", G_CALLBACK(onPromptResponse),
      new PromptAnswer{GTK_ENTRY(entry),
                       answerOnce<long, std::string>(std::move(done), {0, std::string()})},
      destroyPromptAnswer, GConnectFlags{});
  gtk_window_present(GTK_WINDOW(dialog));
  gtk_widget_grab_focus(entry);
}

void runSavePanelSheet(GtkWindow* parent, const SavePanelSheet& panel,
                       std::function<void(std::optional<std::string>)> done) {
  auto chooser = newChooser(parent, savePanelLook(panel));
  setUpSavePanel(GTK_FILE_CHOOSER(chooser.get()), panel);
  auto answer = answerOnce<std::optional<std::string>>(std::move(done), {std::nullopt});
  showChooser(std::move(chooser), [answer](GtkFileChooser* chosen, bool accepted) {
    if (!accepted) return answer(std::nullopt);
    g_autoptr(GFile) file = gtk_file_chooser_get_file(chosen);
    answer(pathOf(file));
  });
}

void runOpenPanelSheet(GtkWindow* parent, const OpenPanelSheet& panel,
                       std::function<void(std::optional<std::vector<std::string>>)> done) {
  auto chooser = newChooser(parent, openPanelLook(panel));
  setUpOpenPanel(GTK_FILE_CHOOSER(chooser.get()), panel);
  using Paths = std::optional<std::vector<std::string>>;
  auto answer = answerOnce<Paths>(std::move(done), {std::nullopt});
  showChooser(std::move(chooser), [answer](GtkFileChooser* chosen, bool accepted) {
    if (!accepted) return answer(std::nullopt);
    answer(chosenPaths(chosen));
  });
}

}  // namespace lumivant::gtk
