// The dialogs: their settings, and an answer given exactly once however they end.

#include "GtkSheets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "support/MainLoop.h"
#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::spinUntil;
using testing::TempDir;

// The first shown top-level window of the given type, other than parent.
template <class Predicate>
GtkWindow* shownWindow(Predicate matches) {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item && !found; item = item->next) {
    auto* window = GTK_WINDOW(item->data);
    if (gtk_widget_get_visible(GTK_WIDGET(window)) && matches(window)) found = window;
  }
  g_list_free(windows);
  return found;
}

GtkWindow* waitForWindow(bool (*matches)(GtkWindow*)) {
  GtkWindow* window = nullptr;
  spinUntil([&] { return (window = shownWindow(matches)) != nullptr; });
  return window;
}

bool isMessageDialog(GtkWindow* window) { return GTK_IS_MESSAGE_DIALOG(window); }
bool isFileChooser(GtkWindow* window) { return GTK_IS_FILE_CHOOSER_DIALOG(window); }

// The labels of the buttons answering 1000, 1001 and so on, in that order.
std::vector<std::string> buttonLabels(GtkDialog* dialog) {
  std::vector<std::string> labels;
  for (gint response = kAlertFirstButtonReturn;; ++response) {
    GtkWidget* button = gtk_dialog_get_widget_for_response(dialog, response);
    if (!button) break;
    labels.push_back(gtk_button_get_label(GTK_BUTTON(button)));
  }
  return labels;
}

class SheetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_show(GTK_WIDGET(parent));
  }
  void TearDown() override {
    if (parent) gtk_widget_destroy(GTK_WIDGET(parent));
  }
  GtkWindow* parent = nullptr;
};

TEST_F(SheetsTest, AlertWithoutButtonsHasTheOneDefaultButton) {
  std::vector<long> answers;
  runAlertSheet(parent, {"文件下载失败", "连接中断", {}}, [&](long r) { answers.push_back(r); });
  GtkWindow* dialog = waitForWindow(isMessageDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(gtk_window_get_modal(dialog));
  EXPECT_EQ(gtk_window_get_transient_for(dialog), parent);
  EXPECT_EQ(buttonLabels(GTK_DIALOG(dialog)), std::vector<std::string>{"好"});
  gchar* text = nullptr;
  gchar* secondary = nullptr;
  g_object_get(dialog, "text", &text, "secondary-text", &secondary, nullptr);
  EXPECT_STREQ(text, "文件下载失败");
  EXPECT_STREQ(secondary, "连接中断");
  g_free(text);
  g_free(secondary);
  gtk_dialog_response(GTK_DIALOG(dialog), kAlertFirstButtonReturn);
  spinUntil([&] { return !answers.empty(); });
  EXPECT_EQ(answers, std::vector<long>{1000});
}

TEST_F(SheetsTest, AlertButtonsAnswerInOrderAndClosingAnswersZero) {
  std::vector<long> answers;
  const AlertSheet confirm{"继续吗？", "", {"确认", "取消"}};
  runAlertSheet(parent, confirm, [&](long r) { answers.push_back(r); });
  GtkWindow* dialog = waitForWindow(isMessageDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(buttonLabels(GTK_DIALOG(dialog)), (std::vector<std::string>{"确认", "取消"}));
  gtk_dialog_response(GTK_DIALOG(dialog), 1001);

  runAlertSheet(parent, confirm, [&](long r) { answers.push_back(r); });
  dialog = waitForWindow(isMessageDialog);
  ASSERT_NE(dialog, nullptr);
  gtk_window_close(dialog);
  spinUntil([&] { return answers.size() == 2; });
  EXPECT_EQ(answers, (std::vector<long>{1001, 0}));
}

TEST_F(SheetsTest, AlertDestroyedWithItsParentAnswersOnce) {
  std::vector<long> answers;
  runAlertSheet(parent, {"消息", "", {}}, [&](long r) { answers.push_back(r); });
  ASSERT_NE(waitForWindow(isMessageDialog), nullptr);
  gtk_widget_destroy(GTK_WIDGET(parent));
  parent = nullptr;
  spinUntil([&] { return !answers.empty(); }, 2.0);
  EXPECT_EQ(answers, std::vector<long>{0});
}

TEST_F(SheetsTest, SaveDialogIsSetUpAndGivesTheChosenPath) {
  TempDir folder;
  std::vector<std::optional<std::string>> answers;
  runSavePanelSheet(parent, {"保存研究文件", "report.csv", true},
                    [&](const std::optional<std::string>& path) { answers.push_back(path); });
  GtkWindow* dialog = waitForWindow(isFileChooser);
  ASSERT_NE(dialog, nullptr);
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  EXPECT_STREQ(gtk_window_get_title(dialog), "保存研究文件");
  EXPECT_TRUE(gtk_window_get_modal(dialog));
  EXPECT_EQ(gtk_window_get_transient_for(dialog), parent);
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
  g_autofree char* name = gtk_file_chooser_get_current_name(chooser);
  EXPECT_STREQ(name, "report.csv");
  EXPECT_TRUE(gtk_file_chooser_get_create_folders(chooser));
  EXPECT_TRUE(gtk_file_chooser_get_do_overwrite_confirmation(chooser));

  // As a user would: pick the folder, type the name, press the accept button.
  gtk_file_chooser_set_current_folder(chooser, folder.str().c_str());
  gtk_file_chooser_set_current_name(chooser, "mine.csv");
  ASSERT_TRUE(spinUntil([&] {
    g_autoptr(GFile) file = gtk_file_chooser_get_file(chooser);
    g_autofree char* path = file ? g_file_get_path(file) : nullptr;
    return path && folder / "mine.csv" == path;
  }));
  gtk_button_clicked(
      GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT)));
  spinUntil([&] { return !answers.empty(); });
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], folder / "mine.csv");
}

TEST_F(SheetsTest, CancelledSaveDialogGivesNothing) {
  std::vector<std::optional<std::string>> answers;
  runSavePanelSheet(parent, {"保存研究文件", "", true},
                    [&](const std::optional<std::string>& path) { answers.push_back(path); });
  GtkWindow* dialog = waitForWindow(isFileChooser);
  ASSERT_NE(dialog, nullptr);
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  spinUntil([&] { return !answers.empty(); });
  EXPECT_EQ(answers, std::vector<std::optional<std::string>>{std::nullopt});
}

TEST_F(SheetsTest, OpenDialogGivesTheChosenFilesOrNothing) {
  TempDir folder;
  for (const char* name : {"a.txt", "b.txt"}) std::ofstream(folder / name) << name;
  using Paths = std::optional<std::vector<std::string>>;
  std::vector<Paths> answers;
  runOpenPanelSheet(parent, {true, false, true},
                    [&](const Paths& paths) { answers.push_back(paths); });
  GtkWindow* dialog = waitForWindow(isFileChooser);
  ASSERT_NE(dialog, nullptr);
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(chooser));
  // Opens the folder and selects the file once the folder has been listed.
  gtk_file_chooser_set_filename(chooser, (folder / "b.txt").c_str());
  ASSERT_TRUE(spinUntil([&] {
    g_autofree char* chosen = gtk_file_chooser_get_filename(chooser);
    return chosen && folder / "b.txt" == chosen;
  }));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  spinUntil([&] { return !answers.empty(); });
  ASSERT_EQ(answers.size(), 1u);
  ASSERT_TRUE(answers[0]);
  EXPECT_EQ(*answers[0], (std::vector<std::string>{folder / "b.txt"}));

  runOpenPanelSheet(parent, {false, false, true},
                    [&](const Paths& paths) { answers.push_back(paths); });
  dialog = waitForWindow(isFileChooser);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(gtk_file_chooser_get_select_multiple(GTK_FILE_CHOOSER(dialog)));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
  spinUntil([&] { return answers.size() == 2; });
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1], std::nullopt);
}

}  // namespace
}  // namespace lumivant::gtk
