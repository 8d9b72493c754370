// The strip of download rows: hidden without rows, one row per download with
// its text and progress, and a 取消 button that may end its own row at once.

#include "GtkDownloadRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivant::gtk {
namespace {

// The row's children: label, progress bar, button.
std::vector<GtkWidget*> partsOf(GtkWidget* row) {
  std::vector<GtkWidget*> parts;
  GList* children = gtk_container_get_children(GTK_CONTAINER(row));
  for (GList* item = children; item; item = item->next) parts.push_back(GTK_WIDGET(item->data));
  g_list_free(children);
  return parts;
}

TEST(GtkDownloadRowsTest, ShowsOneRowPerDownloadAndNothingWithoutThem) {
  GtkDownloadRows strip;
  EXPECT_FALSE(gtk_widget_get_visible(strip.widget()));

  strip.show(
      {{1, "正在下载 big.bin", 0.25, [] {}}, {2, "正在下载 stream.log", std::nullopt, [] {}}});
  EXPECT_TRUE(gtk_widget_get_visible(strip.widget()));
  ASSERT_NE(strip.rowWidget(1), nullptr);
  const auto parts = partsOf(strip.rowWidget(1));
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(parts[0])), "正在下载 big.bin");
  EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(parts[1])), 0.25);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(parts[2])), "取消");

  GtkWidget* kept = strip.rowWidget(2);
  strip.show({{2, "正在下载 stream.log", std::nullopt, [] {}}});
  EXPECT_EQ(strip.rowWidget(1), nullptr);
  EXPECT_EQ(strip.rowWidget(2), kept) << "a row that stays keeps its widgets";
  strip.show({});
  EXPECT_FALSE(gtk_widget_get_visible(strip.widget()));
}

TEST(GtkDownloadRowsTest, CancellingMayTakeTheRowAwayWhileItsButtonIsPressed) {
  GtkDownloadRows strip;
  int cancelled = 0;
  // As in the shell: the engine reports the end at once, and the end removes the row.
  strip.show({{5, "正在下载 a.bin", 0.5, [&] {
                 ++cancelled;
                 strip.show({});
               }}});
  gtk_button_clicked(GTK_BUTTON(partsOf(strip.rowWidget(5))[2]));
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(strip.rowWidget(5), nullptr);
  EXPECT_FALSE(gtk_widget_get_visible(strip.widget()));
}

}  // namespace
}  // namespace lumivant::gtk
