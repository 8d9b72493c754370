// The alerts, prompts and file choosers drawn inside the window: the
// keyboard's way through them, the body out of reach meanwhile, one at a time,
// and one answer each.

#include "InWindowSheets.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/MainLoop.h"
#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::spinUntil;
using testing::TempDir;
using Paths = std::optional<std::vector<std::string>>;

void collect(GtkWidget* widget, GType type, std::vector<GtkWidget*>& found) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) found.push_back(widget);
  if (!GTK_IS_CONTAINER(widget)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* item = children; item; item = item->next) {
    collect(GTK_WIDGET(item->data), type, found);
  }
  g_list_free(children);
}

// The widgets of a type within widget, in the order they are laid out.
std::vector<GtkWidget*> widgetsOf(GtkWidget* widget, GType type) {
  std::vector<GtkWidget*> found;
  collect(widget, type, found);
  return found;
}

std::vector<std::string> texts(const std::vector<GtkWidget*>& widgets) {
  std::vector<std::string> result;
  for (GtkWidget* widget : widgets) {
    const char* text = GTK_IS_BUTTON(widget) ? gtk_button_get_label(GTK_BUTTON(widget))
                                             : gtk_label_get_text(GTK_LABEL(widget));
    result.push_back(text ? text : "");
  }
  return result;
}

class InWindowSheetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_default_size(window, 900, 600);
    body = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    // A menu bar whose one item answers Ctrl+R, as the shell's do.
    accelerators = gtk_accel_group_new();
    gtk_window_add_accel_group(window, accelerators);
    GtkWidget* bar = gtk_menu_bar_new();
    GtkWidget* top = gtk_menu_item_new_with_label("视图");
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* reload = gtk_menu_item_new_with_label("重新加载");
    gtk_widget_add_accelerator(reload, "activate", accelerators, GDK_KEY_r, GDK_CONTROL_MASK,
                               GTK_ACCEL_VISIBLE);
    g_signal_connect_swapped(reload, "activate", G_CALLBACK(+[](int* count) { ++*count; }),
                             &reloads);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), reload);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    gtk_box_pack_start(GTK_BOX(body), bar, FALSE, FALSE, 0);
    page = gtk_entry_new();
    gtk_box_pack_start(GTK_BOX(body), page, TRUE, TRUE, 0);
    sheets = std::make_unique<InWindowSheets>(body);
    gtk_container_add(GTK_CONTAINER(window), sheets->widget());
    gtk_widget_show_all(GTK_WIDGET(window));
    spinUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); });
    gtk_widget_grab_focus(page);
  }
  void TearDown() override {
    sheets.reset();
    gtk_widget_destroy(GTK_WIDGET(window));
    g_object_unref(accelerators);
  }

  bool reloadShortcutWorks() {
    const int before = reloads;
    gtk_accel_groups_activate(G_OBJECT(window), GDK_KEY_r, GDK_CONTROL_MASK);
    return reloads > before;
  }

  // What the overlay shows above the body: nothing, or the scrim and the sheet.
  GtkWidget* shownSheet() const {
    GList* children = gtk_container_get_children(GTK_CONTAINER(sheets->widget()));
    GtkWidget* last = GTK_WIDGET(g_list_last(children)->data);
    g_list_free(children);
    return last == body ? nullptr : last;
  }
  std::vector<GtkWidget*> buttons() const { return widgetsOf(shownSheet(), GTK_TYPE_BUTTON); }
  // The sheet's own buttons, not the chooser's.
  GtkWidget* button(const std::string& label) const {
    for (GtkWidget* button : buttons()) {
      const char* text = gtk_button_get_label(GTK_BUTTON(button));
      if (text && label == text && !gtk_widget_get_ancestor(button, GTK_TYPE_FILE_CHOOSER_WIDGET)) {
        return button;
      }
    }
    return nullptr;
  }
  GtkFileChooser* shownChooser() const {
    auto found = widgetsOf(shownSheet(), GTK_TYPE_FILE_CHOOSER_WIDGET);
    return found.empty() ? nullptr : GTK_FILE_CHOOSER(found[0]);
  }

  // A key as the window hands it on: to the focused widget, then up its parents.
  void press(guint keyval) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    event->key.keyval = keyval;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(
                                    gtk_widget_get_display(GTK_WIDGET(window)))));
    gtk_window_propagate_key_event(window, &event->key);
    gdk_event_free(event);
  }

  GtkWindow* window = nullptr;
  GtkAccelGroup* accelerators = nullptr;
  int reloads = 0;
  GtkWidget* body = nullptr;
  GtkWidget* page = nullptr;
  std::unique_ptr<InWindowSheets> sheets;
};

TEST_F(InWindowSheetsTest, AlertTakesTheKeyboardAndGivesItBackAnswered) {
  std::vector<long> answers;
  sheets->runAlert({"文件下载失败", "连接中断", {"重试", "取消"}},
                   [&](long r) { answers.push_back(r); });
  ASSERT_NE(shownSheet(), nullptr);
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL)),
            (std::vector<std::string>{"文件下载失败", "连接中断", "重试", "取消"}));
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(shownSheet())), "文件下载失败");
  EXPECT_EQ(atk_object_get_role(gtk_widget_get_accessible(shownSheet())), ATK_ROLE_ALERT);
  EXPECT_FALSE(gtk_widget_is_sensitive(page)) << "the page is out of reach";
  EXPECT_FALSE(reloadShortcutWorks()) << "and so are the menus";
  EXPECT_EQ(gtk_window_get_focus(window), buttons()[0]) << "the default button has the focus";
  EXPECT_TRUE(gtk_widget_has_default(buttons()[0]));

  gtk_button_clicked(GTK_BUTTON(buttons()[1]));
  EXPECT_EQ(answers, std::vector<long>{1001});
  EXPECT_EQ(shownSheet(), nullptr);
  EXPECT_TRUE(gtk_widget_is_sensitive(page));
  EXPECT_TRUE(reloadShortcutWorks());
  EXPECT_EQ(gtk_window_get_focus(window), page) << "the keyboard back where it was";

  sheets->runAlert({"消息", "", {}}, [&](long r) { answers.push_back(r); });
  EXPECT_EQ(texts(buttons()), std::vector<std::string>{"好"});
  press(GDK_KEY_Escape);
  EXPECT_EQ(answers, (std::vector<long>{1001, 0}));
  EXPECT_EQ(shownSheet(), nullptr);
}

TEST_F(InWindowSheetsTest, ThePromptsFieldAnswersWithTheFirstButtonAndTheText) {
  std::vector<std::pair<long, std::string>> answers;
  sheets->runPrompt({"请输入名称", "默认", {"确认", "取消"}},
                    [&](long r, const std::string& text) { answers.emplace_back(r, text); });
  auto fields = widgetsOf(shownSheet(), GTK_TYPE_ENTRY);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(fields[0])), "默认");
  EXPECT_EQ(gtk_window_get_focus(window), fields[0]);
  gtk_entry_set_text(GTK_ENTRY(fields[0]), "样本 7");
  g_signal_emit_by_name(fields[0], "activate");  // what Return in the field does
  // An activated button shows itself pressed for a moment before it clicks.
  spinUntil([&] { return !answers.empty(); }, 2.0);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], std::make_pair(1000L, std::string("样本 7")));
}

TEST_F(InWindowSheetsTest, OneAtATimeAndEveryOneAnsweredOnceWhenTheWindowGoes) {
  std::vector<std::string> answers;
  auto record = [&](const std::string& name) {
    return [&answers, name](long r) { answers.push_back(name + ":" + std::to_string(r)); };
  };
  sheets->runAlert({"第一", "", {}}, record("第一"));
  sheets->runAlert({"第二", "", {}}, record("第二"));
  sheets->runPrompt({"第三", "", {}}, [&](long r, const std::string&) {
    answers.push_back("第三:" + std::to_string(r));
  });
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "第一");
  EXPECT_EQ(widgetsOf(sheets->widget(), GTK_TYPE_BUTTON).size(), 1u) << "one sheet shown";
  gtk_button_clicked(GTK_BUTTON(buttons()[0]));
  EXPECT_EQ(answers, std::vector<std::string>{"第一:1000"});
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "第二");
  EXPECT_FALSE(gtk_widget_is_sensitive(page));

  sheets.reset();
  EXPECT_EQ(answers, (std::vector<std::string>{"第一:1000", "第二:0", "第三:0"}));
}

// A question that stops standing goes: one waiting behind another sheet is
// never shown, and one showing closes, each answered with 0 once.
TEST_F(InWindowSheetsTest, AWithdrawnQuestionNeverShowsOrClosesWhereItShows) {
  std::vector<std::string> answers;
  auto record = [&](const std::string& name) {
    return [&answers, name](long r) { answers.push_back(name + ":" + std::to_string(r)); };
  };
  auto waiting = std::make_shared<SheetWithdrawal>();
  sheets->runAlert({"这是一条提示", "", {}}, record("提示"));
  sheets->runAlert({"还有下载没完成，要退出吗？", "", {"留下", "退出"}, waiting}, record("退出"));
  waiting->withdraw();
  EXPECT_TRUE(answers.empty()) << "answered when its turn comes";
  gtk_button_clicked(GTK_BUTTON(buttons()[0]));
  EXPECT_EQ(answers, (std::vector<std::string>{"提示:1000", "退出:0"}));
  EXPECT_EQ(shownSheet(), nullptr) << "the withdrawn question never showed";
  EXPECT_TRUE(gtk_widget_is_sensitive(page));

  auto shown = std::make_shared<SheetWithdrawal>();
  sheets->runAlert({"还有下载没完成，要退出吗？", "", {"留下", "退出"}, shown}, record("再问"));
  ASSERT_NE(shownSheet(), nullptr);
  shown->withdraw();
  EXPECT_EQ(shownSheet(), nullptr);
  EXPECT_TRUE(gtk_widget_is_sensitive(page));
  shown->withdraw();
  EXPECT_EQ(answers, (std::vector<std::string>{"提示:1000", "退出:0", "再问:0"}));
}

TEST_F(InWindowSheetsTest, SavePanelFitsTheWindowAndAsksBeforeReplacingAFile) {
  TempDir folder;
  std::ofstream(folder / "old.csv") << "kept";
  std::vector<std::optional<std::string>> answers;
  sheets->runSavePanel({"保存研究文件", "report.csv", true},
                       [&](const std::optional<std::string>& path) { answers.push_back(path); });
  GtkFileChooser* chooser = shownChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "保存研究文件");
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(shownSheet())), "保存研究文件");
  EXPECT_EQ(atk_object_get_role(gtk_widget_get_accessible(shownSheet())), ATK_ROLE_DIALOG);
  ASSERT_NE(button("取消"), nullptr);
  ASSERT_NE(button("保存"), nullptr);
  EXPECT_TRUE(gtk_widget_has_default(button("保存")));
  GtkWidget* focus = gtk_window_get_focus(window);
  ASSERT_TRUE(GTK_IS_ENTRY(focus)) << "the name field has the keyboard";
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(focus)), "report.csv");
  EXPECT_FALSE(gtk_widget_is_sensitive(page));

  // Within the window, whose smallest size this is, with room to spare.
  gtk_window_resize(window, 900, 600);
  ASSERT_TRUE(spinUntil([&] {
    return gtk_widget_get_allocated_width(sheets->widget()) == 900 &&
           gtk_widget_get_allocated_height(shownSheet()) > 1;
  }));
  // Where the sheet lies in the overlay: it has a window of its own there.
  GtkAllocation sheet;
  gtk_widget_get_allocation(shownSheet(), &sheet);
  ASSERT_TRUE(
      gtk_widget_translate_coordinates(shownSheet(), sheets->widget(), 0, 0, &sheet.x, &sheet.y));
  EXPECT_GE(sheet.x, 24);
  EXPECT_GE(sheet.y, 0);
  EXPECT_LE(sheet.x + sheet.width, 900 - 24);
  EXPECT_LE(sheet.y + sheet.height, gtk_widget_get_allocated_height(sheets->widget()));
  EXPECT_GE(sheet.width, 600) << "a chooser, not a message box";

  // A name that already exists is asked about once more before it is given.
  gtk_file_chooser_set_current_folder(chooser, folder.str().c_str());
  gtk_file_chooser_set_current_name(chooser, "old.csv");
  ASSERT_TRUE(spinUntil([&] {
    g_autoptr(GFile) file = gtk_file_chooser_get_file(chooser);
    g_autofree char* path = file ? g_file_get_path(file) : nullptr;
    return path && folder / "old.csv" == path;
  }));
  g_signal_emit_by_name(focus, "activate");  // what Return in the name field does
  // An activated button shows itself pressed for a moment before it clicks.
  ASSERT_TRUE(spinUntil([&] { return button("替换") != nullptr; }, 2.0));
  EXPECT_TRUE(answers.empty());
  gtk_button_clicked(GTK_BUTTON(button("替换")));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], folder / "old.csv");
  EXPECT_EQ(shownSheet(), nullptr);
  EXPECT_TRUE(gtk_widget_is_sensitive(page));
}

TEST_F(InWindowSheetsTest, OpenPanelGivesTheChosenFilesInOrder) {
  TempDir folder;
  for (const char* name : {"c.txt", "a.txt", "b.txt"}) std::ofstream(folder / name) << name;
  std::vector<Paths> answers;
  sheets->runOpenPanel({true, false, true}, [&](const Paths& paths) { answers.push_back(paths); });
  GtkFileChooser* chooser = shownChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(chooser));
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "选择文件");
  EXPECT_TRUE(GTK_IS_TREE_VIEW(gtk_window_get_focus(window))) << "the list of files";
  gtk_button_clicked(GTK_BUTTON(button("打开")));
  EXPECT_TRUE(answers.empty()) << "nothing chosen yet";

  // Selected as the user does with Ctrl+A in the list: choosing files one by
  // one through the chooser moves the list's cursor, which selects one only.
  GtkWidget* list = gtk_window_get_focus(window);
  gtk_file_chooser_set_current_folder(chooser, folder.str().c_str());
  ASSERT_TRUE(spinUntil([&] {
    gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)));
    GSList* files = gtk_file_chooser_get_filenames(chooser);
    const guint count = g_slist_length(files);
    g_slist_free_full(files, g_free);
    return count == 3;
  }));
  gtk_button_clicked(GTK_BUTTON(button("打开")));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0],
            (std::vector<std::string>{folder / "a.txt", folder / "b.txt", folder / "c.txt"}));

  sheets->runOpenPanel({false, true, false}, [&](const Paths& paths) { answers.push_back(paths); });
  EXPECT_EQ(gtk_file_chooser_get_action(shownChooser()), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "选择文件夹");
  press(GDK_KEY_Escape);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1], std::nullopt);
  EXPECT_EQ(shownSheet(), nullptr);
}

TEST_F(InWindowSheetsTest, ChoosersWaitTheirTurnAndAnswerNothingWhenTheWindowGoes) {
  std::vector<std::string> answers;
  sheets->runAlert({"文件下载失败", "", {}},
                   [&](long r) { answers.push_back("alert:" + std::to_string(r)); });
  sheets->runSavePanel({"保存研究文件", "report.csv", true},
                       [&](const std::optional<std::string>& path) {
                         answers.push_back("save:" + path.value_or("无"));
                       });
  sheets->runOpenPanel({false, false, true}, [&](Paths paths) {
    answers.push_back(paths ? "open:" + std::to_string(paths->size()) : "open:无");
  });
  EXPECT_EQ(shownChooser(), nullptr) << "the alert first";
  gtk_button_clicked(GTK_BUTTON(buttons()[0]));
  ASSERT_NE(shownChooser(), nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(shownChooser()), GTK_FILE_CHOOSER_ACTION_SAVE);
  gtk_button_clicked(GTK_BUTTON(button("取消")));
  ASSERT_NE(shownChooser(), nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(shownChooser()), GTK_FILE_CHOOSER_ACTION_OPEN);

  sheets.reset();
  EXPECT_EQ(answers, (std::vector<std::string>{"alert:1000", "save:无", "open:无"}));
}

}  // namespace
}  // namespace lumivant::gtk
