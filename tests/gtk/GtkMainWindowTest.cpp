// The main window's first-run frame, and the frame it remembers.

#include "GtkMainWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/MainLoop.h"
#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::spinFor;
using testing::spinUntil;
using testing::TempDir;

// Where and how big the window is on the screen.
struct Shown {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Shown&) const = default;
};

class MainWindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<GtkMainWindow> open(GtkWidget* content = gtk_label_new("content")) {
    auto window =
        std::make_unique<GtkMainWindow>(WindowSettings{}, content, nullptr, nullptr, store);
    window->show();
    EXPECT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window->window())); }));
    spinFor(0.2);
    return window;
  }
  static Shown frameOf(const GtkMainWindow& window) {
    Shown frame;
    gtk_window_get_position(window.window(), &frame.x, &frame.y);
    gtk_window_get_size(window.window(), &frame.width, &frame.height);
    return frame;
  }
  static GdkRectangle screenArea() {
    GdkRectangle area{};
    gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default()), &area);
    if (area.width == 0) {
      gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &area);
    }
    return area;
  }

  TempDir dir;
  WindowFrameStore store{dir / "Lumivant/window-state.ini"};
};

TEST_F(MainWindowTest, FirstRunIsCentredAt1280By840WithTheTitle) {
  auto window = open();
  const Shown frame = frameOf(*window);
  const GdkRectangle area = screenArea();
  EXPECT_EQ(frame.width, 1280);
  EXPECT_EQ(frame.height, 840);
  EXPECT_NEAR(frame.x, area.x + (area.width - 1280) / 2.0, 1);
  EXPECT_NEAR(frame.y, area.y + (area.height - 840) / 2.0, 1);
  EXPECT_STREQ(gtk_window_get_title(window->window()), "Lumivant");
}

// The indicator is never drawn over the web view: drawing a web view whose web
// process has not painted yet waits on that process.
TEST_F(MainWindowTest, StartingIndicatorTakesTheContentsPlaceAndGivesItBackWithTheFocus) {
  GtkWidget* content = gtk_entry_new();
  auto window = open(content);
  gtk_widget_grab_focus(content);
  window->showStartingIndicator("正在启动…");
  spinFor(0.2);
  EXPECT_TRUE(window->isStartingIndicatorVisible());
  EXPECT_FALSE(gtk_widget_get_mapped(content)) << "the content is not drawn meanwhile";
  window->hideStartingIndicator();
  ASSERT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(content); }));
  EXPECT_FALSE(window->isStartingIndicatorVisible());
  EXPECT_EQ(gtk_window_get_focus(window->window()), content) << "typing goes to the page";
}

TEST_F(MainWindowTest, MovedAndResizedFrameIsSavedAndRestored) {
  {
    auto window = open();
    gtk_window_move(window->window(), 40, 50);
    gtk_window_resize(window->window(), 1000, 700);
    ASSERT_TRUE(spinUntil([&] {
      return store.load("main") == WindowFrame{FramePosition{40, 50}, 1000, 700, false};
    })) << "the new frame is written once it settles";
  }
  auto again = open();
  EXPECT_EQ(frameOf(*again), (Shown{40, 50, 1000, 700}));
}

TEST_F(MainWindowTest, PendingFrameIsWrittenWhenAskedPromptly) {
  auto window = open();
  spinFor(0.6);
  gtk_window_move(window->window(), 70, 80);
  ASSERT_TRUE(spinUntil([&] { return window->hasUnsavedFrame(); }));
  window->saveFramePromptly();
  EXPECT_FALSE(window->hasUnsavedFrame());
  EXPECT_EQ(store.load("main")->position->x, 70);
}

TEST_F(MainWindowTest, DamagedKeyFileGivesTheFirstRunFrame) {
  std::filesystem::create_directories(dir / "Lumivant");
  std::ofstream(store.path()) << "[main]\nx=oops\n";
  auto window = open();
  EXPECT_EQ(frameOf(*window).width, 1280);
  EXPECT_EQ(frameOf(*window).height, 840);
}

TEST_F(MainWindowTest, FrameOffEveryScreenIsCentredAndTooSmallIsRaisedToTheMinimum) {
  ASSERT_TRUE(store.save("main", {FramePosition{-5000, -5000}, 400, 300, false}));
  auto window = open();
  const Shown frame = frameOf(*window);
  const GdkRectangle area = screenArea();
  EXPECT_EQ(frame.width, 900);
  EXPECT_EQ(frame.height, 600);
  EXPECT_NEAR(frame.x, area.x + (area.width - 900) / 2.0, 1);
}

}  // namespace
}  // namespace lumivant::gtk
