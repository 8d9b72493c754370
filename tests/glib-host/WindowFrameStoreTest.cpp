#include "WindowFrameStore.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <fstream>

#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::TempDir;

TEST(WindowFrameStoreTest, SavedFrameComesBackUnderItsName) {
  TempDir dir;
  const WindowFrameStore store(dir / "state/Lumivant/window-state.ini");
  EXPECT_EQ(store.load("main"), std::nullopt) << "no file yet";
  ASSERT_TRUE(store.save("main", {FramePosition{12, -30}, 1000, 700, false}));
  ASSERT_TRUE(store.save("other", {FramePosition{1, 2}, 3, 4, true}));
  EXPECT_EQ(store.load("main"), (WindowFrame{FramePosition{12, -30}, 1000, 700, false}));
  EXPECT_EQ(store.load("other"), (WindowFrame{FramePosition{1, 2}, 3, 4, true}));
  EXPECT_EQ(store.load("absent"), std::nullopt);
}

TEST(WindowFrameStoreTest, DamagedOrIncompleteFilesGiveNoFrame) {
  TempDir dir;
  const std::string path = dir / "window-state.ini";
  const WindowFrameStore store(path);
  const char* damaged[] = {
      "\x01\x02 not a key file [[[",
      "[main]\nx=1\ny=2\nwidth=300\n",
      "[main]\nx=1\ny=2\nheight=300\n",
      "[main]\nx=1\ny=2\nwidth=abc\nheight=400\n",
      "[main]\nx=1\ny=2\nwidth=0\nheight=400\n",
      "[main]\nx=1\ny=2\nwidth=-5\nheight=400\n",
      "[main]\nx=1\ny=2\nwidth=300\nheight=99999999\n",
  };
  for (const char* text : damaged) {
    std::ofstream(path, std::ios::trunc) << text;
    EXPECT_EQ(store.load("main"), std::nullopt) << text;
  }
}

TEST(WindowFrameStoreTest, DamagedMaximisedFlagKeepsTheFrame) {
  TempDir dir;
  const std::string path = dir / "window-state.ini";
  std::ofstream(path) << "[main]\nx=1\ny=2\nwidth=300\nheight=400\nmaximized=perhaps\n";
  EXPECT_EQ(WindowFrameStore(path).load("main"),
            (WindowFrame{FramePosition{1, 2}, 300, 400, false}));
}

TEST(WindowFrameStoreTest, FrameWithoutPositionLeavesTheSavedPositionAlone) {
  TempDir dir;
  const WindowFrameStore store(dir / "window-state.ini");
  ASSERT_TRUE(store.save("main", {std::nullopt, 1000, 700, false}));
  EXPECT_EQ(store.load("main"), (WindowFrame{std::nullopt, 1000, 700, false}));
  ASSERT_TRUE(store.save("main", {FramePosition{80, 90}, 1000, 700, false}));
  ASSERT_TRUE(store.save("main", {std::nullopt, 950, 650, true}));
  EXPECT_EQ(store.load("main"), (WindowFrame{FramePosition{80, 90}, 950, 650, true}));
}

TEST(WindowFrameStoreTest, SavingOverADamagedFileSetsItAside) {
  TempDir dir;
  const std::string path = dir / "window-state.ini";
  std::ofstream(path) << "\x01 garbage [";
  const WindowFrameStore store(path);
  ASSERT_TRUE(store.save("main", {FramePosition{5, 6}, 950, 650, false}));
  EXPECT_EQ(store.load("main"), (WindowFrame{FramePosition{5, 6}, 950, 650, false}));
  EXPECT_EQ(testing::readFile(path + ".damaged"), "\x01 garbage [");
}

TEST(WindowFrameStoreTest, UnwritablePlaceReportsFailure) {
  TempDir dir;
  std::ofstream(dir / "file") << "x";
  EXPECT_FALSE(WindowFrameStore(dir / "file/inside/window-state.ini")
                   .save("main", {FramePosition{0, 0}, 1, 1}));
}

TEST(WindowFrameStoreTest, UserStoreLiesInTheStateDirectory) {
  EXPECT_EQ(WindowFrameStore::userStore().path(),
            std::string(g_get_user_state_dir()) + "/Lumivant/window-state.ini");
}

}  // namespace
}  // namespace lumivant::gtk
