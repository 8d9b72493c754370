#include "UserGestureMemory.h"

#include <gtest/gtest.h>

#include <string>

namespace lumivant::gtk {
namespace {

TEST(UserGestureMemoryTest, OnlyTheUsersNavigationsAccountForADownloadEachOnce) {
  UserGestureMemory memory;
  memory.navigationStarted("http://127.0.0.1:8000/report.csv", true);
  memory.navigationStarted("http://127.0.0.1:8000/script.csv", false);
  memory.navigationStarted("", true);

  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/script.csv")) << "not by the user";
  EXPECT_FALSE(memory.takeDownload(""));
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/report.csv"));
  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/report.csv")) << "accounted for";

  // Two clicks on the same link, two downloads.
  memory.navigationStarted("http://127.0.0.1:8000/a", true);
  memory.navigationStarted("http://127.0.0.1:8000/a", true);
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/a"));
  EXPECT_TRUE(memory.takeDownload("http://127.0.0.1:8000/a"));
  EXPECT_FALSE(memory.takeDownload("http://127.0.0.1:8000/a"));
}

TEST(UserGestureMemoryTest, OnlyTheLatestNavigationsAreKept) {
  UserGestureMemory memory;
  for (int i = 0; i < 100; ++i) memory.navigationStarted("http://h/" + std::to_string(i), true);
  EXPECT_FALSE(memory.takeDownload("http://h/0"));
  EXPECT_FALSE(memory.takeDownload("http://h/67"));
  EXPECT_TRUE(memory.takeDownload("http://h/68"));
  EXPECT_TRUE(memory.takeDownload("http://h/99"));
}

}  // namespace
}  // namespace lumivant::gtk
