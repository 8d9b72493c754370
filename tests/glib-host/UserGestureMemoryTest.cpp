#include "UserGestureMemory.h"

#include <gtest/gtest.h>

#include <string>

namespace lumivant::gtk {
namespace {

TEST(UserGestureMemoryTest, OnlyTheUsersNavigationsAccountForADownloadEachOnce) {
  UserGestureMemory memory;
  memory.navigationStarted("http://127.0.0.1:8000/report.csv", true, 1);
  memory.navigationStarted("http://127.0.0.1:8000/script.csv", false, 0);
  memory.navigationStarted("", true, 2);

  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/script.csv")) << "not by the user";
  EXPECT_FALSE(memory.takeDownload(""));
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/report.csv"));
  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/report.csv")) << "accounted for";

  // Two clicks on the same link, two downloads.
  memory.navigationStarted("http://127.0.0.1:8000/a", true, 3);
  memory.navigationStarted("http://127.0.0.1:8000/a", true, 4);
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/a"));
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/a"));
  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/a"));
}

TEST(UserGestureMemoryTest, OnlyTheLatestNavigationsAreKept) {
  UserGestureMemory memory;
  for (int i = 0; i < 100; ++i)
    memory.navigationStarted("http://h/" + std::to_string(i), true, static_cast<GestureId>(i) + 1);
  EXPECT_FALSE(memory.takeDownload("http://h/0"));
  EXPECT_FALSE(memory.takeDownload("http://h/67"));
  EXPECT_TRUE(memory.takeDownload("http://h/68"));
  EXPECT_TRUE(memory.takeDownload("http://h/99"));
}

// A click whose page makes a hundred downloads of it gives one of them; the
// next click gives one again. A press the view could not tell (0) counts as
// a gesture of its own each time.
TEST(UserGestureMemoryTest, OnePressGivesOneDownload) {
  UserGestureMemory memory;
  for (int i = 0; i < 100; ++i) memory.navigationStarted("http://h/" + std::to_string(i), true, 7);
  EXPECT_TRUE(memory.takeDownload("http://h/99"));
  EXPECT_FALSE(memory.takeDownload("http://h/98")) << "the press already gave one";
  memory.navigationStarted("http://h/next", true, 8);
  EXPECT_TRUE(memory.takeDownload("http://h/next"));

  memory.navigationStarted("http://h/x", true, 0);
  memory.navigationStarted("http://h/y", true, 0);
  EXPECT_TRUE(memory.takeDownload("http://h/x"));
  EXPECT_TRUE(memory.takeDownload("http://h/y"));
}

}  // namespace
}  // namespace lumivant::gtk
