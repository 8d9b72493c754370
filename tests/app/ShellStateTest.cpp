// The shell's own state beside the window's frame: which data root is which,
// the bus name of its instance, and the backend port kept for it.

#include "app/ShellState.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "backend/PortMemory.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::writeFile;

TEST(ShellStateTest, SpellingsOfOneDataRootShareAnIdentityAndABusName) {
  TempDir dir;
  fs::create_directories(dir / "root");
  fs::create_directory_symlink(dir / "root", dir / "link");
  const std::string id = applicationIdForDataRoot(dir / "root");
  for (const std::string& spelling : {dir / "root/", dir / "link", dir / "root/../root"}) {
    EXPECT_EQ(dataRootIdentity(spelling), dataRootIdentity(dir / "root")) << spelling;
    EXPECT_EQ(applicationIdForDataRoot(spelling), id) << spelling;
  }
  // A data root that does not exist yet (the first launch) is named all the same.
  EXPECT_EQ(dataRootIdentity(dir / "new/"), dir / "new");
  EXPECT_NE(applicationIdForDataRoot(dir / "new"), id);
  // A valid D-Bus name: dot-separated elements of letters, digits and
  // underscores, none starting with a digit, at most 255 characters.
  EXPECT_TRUE(
      std::regex_match(id, std::regex("([A-Za-z_][A-Za-z0-9_]*\\.)+[A-Za-z_][A-Za-z0-9_]*")))
      << id;
  EXPECT_LE(id.size(), 255u);
}

TEST(ShellStateTest, PortIsKeptPerDataRootAndADamagedMemoryIsStartedAfresh) {
  TempDir dir;
  const std::string file = dir / "state/Lumivant/backend-ports.json";
  const PortMemory first(file, dir / "first");
  const PortMemory second(file, dir / "second");
  EXPECT_EQ(first.recall(), std::nullopt) << "nothing kept yet";

  first.remember(41234);
  second.remember(41235);
  EXPECT_EQ(first.recall(), 41234);
  EXPECT_EQ(PortMemory(file, dir / "first/").recall(), 41234) << "the same data root";
  EXPECT_EQ(second.recall(), 41235);
  second.remember(41236);
  EXPECT_EQ(first.recall(), 41234) << "another data root's port is left as it was";
  EXPECT_EQ(second.recall(), 41236);

  for (const char* damaged : {"{not json", "[41234]", "{\"x\": 1}"}) {
    writeFile(file, damaged);
    EXPECT_EQ(first.recall(), std::nullopt) << damaged;
  }
  writeFile(file, "{\"" + dataRootIdentity(dir / "first") + "\": 70000}");
  EXPECT_EQ(first.recall(), std::nullopt) << "not a port";
  writeFile(file, "{not json");
  first.remember(41237);
  EXPECT_EQ(first.recall(), 41237);

  // A path is bytes, a JSON key is text: a data root that is not UTF-8 still
  // keeps its port, and the others keep theirs.
  const PortMemory latin1(file, dir / "caf\xe9");
  latin1.remember(41238);
  EXPECT_EQ(latin1.recall(), 41238);
  EXPECT_EQ(first.recall(), 41237);
}

}  // namespace
}  // namespace lumivant
