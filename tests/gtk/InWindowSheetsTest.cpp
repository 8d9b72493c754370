// The alerts and prompts drawn inside the window: the keyboard's way through
// them, the body out of reach meanwhile, one at a time, and one answer each.

#include "InWindowSheets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MainLoop.h"

namespace lumivant::gtk {
namespace {

using testing::spinUntil;

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
    result.push_back(GTK_IS_BUTTON(widget) ? gtk_button_get_label(GTK_BUTTON(widget))
                                           : gtk_label_get_text(GTK_LABEL(widget)));
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
                    [&](long r, std::string text) { answers.emplace_back(r, text); });
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
  auto record = [&](std::string name) {
    return [&answers, name](long r) { answers.push_back(name + ":" + std::to_string(r)); };
  };
  sheets->runAlert({"第一", "", {}}, record("第一"));
  sheets->runAlert({"第二", "", {}}, record("第二"));
  sheets->runPrompt({"第三", "", {}},
                    [&](long r, std::string) { answers.push_back("第三:" + std::to_string(r)); });
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "第一");
  EXPECT_EQ(widgetsOf(sheets->widget(), GTK_TYPE_BUTTON).size(), 1u) << "one sheet shown";
  gtk_button_clicked(GTK_BUTTON(buttons()[0]));
  EXPECT_EQ(answers, std::vector<std::string>{"第一:1000"});
  EXPECT_EQ(texts(widgetsOf(shownSheet(), GTK_TYPE_LABEL))[0], "第二");
  EXPECT_FALSE(gtk_widget_is_sensitive(page));

  sheets.reset();
  EXPECT_EQ(answers, (std::vector<std::string>{"第一:1000", "第二:0", "第三:0"}));
}

}  // namespace
}  // namespace lumivant::gtk
