#include "app/DataRoot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/TempDir.h"

namespace lumivant {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

class DataRootTest : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.str()};
};

TEST_F(DataRootTest, UnsetVariableMeansDotDirectoryInHome) {
  ScopedEnv unset("ORLATH_FRAMEWORK_HOME", std::nullopt);
  EXPECT_EQ(dataRoot(), home.str() + "/.orlath-framework");
}

TEST_F(DataRootTest, AbsoluteValueIsTakenAsIs) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "/srv/lab/data");
  EXPECT_EQ(dataRoot(), "/srv/lab/data");
}

TEST_F(DataRootTest, LeadingTildeIsTheHomeDirectory) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "~/research");
  EXPECT_EQ(dataRoot(), home.str() + "/research");
  ScopedEnv bare("ORLATH_FRAMEWORK_HOME", "~");
  EXPECT_EQ(dataRoot(), home.str());
}

TEST_F(DataRootTest, TildeFollowedByAUserNameIsThatUsersHome) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "~root/x");
  EXPECT_EQ(dataRoot(), "/root/x");
}

TEST_F(DataRootTest, RelativeValueIsTakenAgainstTheWorkingDirectory) {
  const auto cwd = std::filesystem::current_path();
  TempDir work;
  std::filesystem::current_path(work.path());
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "data/root");
  const std::string root = dataRoot();
  std::filesystem::current_path(cwd);
  EXPECT_EQ(root, work.str() + "/data/root");
}

TEST_F(DataRootTest, EmptyValueIsTheWorkingDirectoryNotTheDefault) {
  const auto cwd = std::filesystem::current_path();
  TempDir work;
  std::filesystem::current_path(work.path());
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "");
  const std::string root = dataRoot();
  std::filesystem::current_path(cwd);
  EXPECT_EQ(root, work.str());
}

TEST_F(DataRootTest, TrailingSlashFindsTheSameFiles) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "/srv/lab/");
  EXPECT_EQ(dataRoot(), "/srv/lab");
  EXPECT_EQ(joinPath(dataRoot(), "server.json"), "/srv/lab/server.json");
}

TEST_F(DataRootTest, DotDotAndSymbolicLinksStayInThePath) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", "/srv/a/../b");
  EXPECT_EQ(dataRoot(), "/srv/a/../b");
}

TEST_F(DataRootTest, EveryCallReadsTheEnvironmentAfresh) {
  ScopedEnv first("ORLATH_FRAMEWORK_HOME", "/first");
  EXPECT_EQ(dataRoot(), "/first");
  ScopedEnv second("ORLATH_FRAMEWORK_HOME", "/second");
  EXPECT_EQ(dataRoot(), "/second");
}

TEST_F(DataRootTest, NothingIsCreated) {
  ScopedEnv set("ORLATH_FRAMEWORK_HOME", home / "not-there");
  dataRoot();
  EXPECT_FALSE(std::filesystem::exists(home / "not-there"));
}

TEST(JoinPathTest, ExactlyOneSeparator) {
  EXPECT_EQ(joinPath("/a", "b"), "/a/b");
  EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(joinPath("/", "b"), "/b");
}

}  // namespace
}  // namespace lumivant
