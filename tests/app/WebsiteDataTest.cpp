// Each data root's website data store, and who keeps the one that every data
// root shared before stores were kept apart.

#include "app/WebsiteData.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/ShellState.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct WebsiteDataTest : ::testing::Test {
  TempDir dir;
  const std::string data = dir / "share";
  const std::string cache = dir / "cache";
  WebsiteDataStore storeOf(const std::string& root) {
    return websiteDataStoreFor(dir / root, data, cache);
  }
  std::string own(const std::string& root, const std::string& base) {
    return base + "/Lumivant/data-roots/" + dataRootKey(dir / root);
  }
};

TEST_F(WebsiteDataTest, EachDataRootHasAStoreOfItsOwnUnderEverySpelling) {
  const WebsiteDataStore first = storeOf("first");
  EXPECT_EQ(first.dataDirectory, own("first", data));
  EXPECT_EQ(first.cacheDirectory, own("first", cache));
  EXPECT_EQ(storeOf("first/").dataDirectory, first.dataDirectory);
  EXPECT_NE(storeOf("second").dataDirectory, first.dataDirectory);
  EXPECT_FALSE(fs::exists(data + "/Lumivant/shared-store-owner")) << "nothing to take over";
}

TEST_F(WebsiteDataTest, AFreshInstallKeepsTheStoreItsFirstLaunchFilled) {
  // Nothing shared to take over: the first launch starts a store of its own,
  // into which the engine writes the page's cookies and site storage.
  const WebsiteDataStore first = storeOf("usual");
  testing::writeFile(first.dataDirectory + "/cookies.sqlite", "the user's cookies");
  testing::writeFile(first.dataDirectory + "/localstorage/http_127.0.0.1_8765.localstorage", "");
  testing::writeFile(first.cacheDirectory + "/WebKitCache/Version 16/salt", "");
  for (int launch = 2; launch <= 3; ++launch) {
    const WebsiteDataStore later = storeOf("usual");
    EXPECT_EQ(later.dataDirectory, first.dataDirectory) << "launch " << launch;
    EXPECT_EQ(later.cacheDirectory, first.cacheDirectory) << "launch " << launch;
  }
  EXPECT_FALSE(fs::exists(data + "/Lumivant/shared-store-owner"))
      << "the stores of this install are not the shared one of before";
}

TEST_F(WebsiteDataTest, TheFirstDataRootLaunchedTakesOverTheSharedStoreForGood) {
  testing::writeFile(data + "/Lumivant/cookies.sqlite", "the cookies users have today");
  const WebsiteDataStore taker = storeOf("usual");
  EXPECT_EQ(taker.dataDirectory, data + "/Lumivant");
  EXPECT_EQ(taker.cacheDirectory, cache + "/Lumivant");
  EXPECT_EQ(storeOf("other").dataDirectory, own("other", data));
  EXPECT_EQ(storeOf("usual").dataDirectory, data + "/Lumivant") << "at every later launch";
  EXPECT_TRUE(fs::exists(data + "/Lumivant/cookies.sqlite")) << "nothing moved or removed";
}

}  // namespace
}  // namespace lumivant
