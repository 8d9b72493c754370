// organisationServer() against real files in a temporary data root.

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>
#include <future>

#include "orgserver/ServerFile.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using testing::TempDir;
using testing::writeFile;

struct ServerFileReadTest : ::testing::Test {
  TempDir root;
  std::string serverFile() const { return root / "server.json"; }
};

TEST_F(ServerFileReadTest, NoFileMeansLocalMode) {
  EXPECT_FALSE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, ReadsTheFileInTheDataRootAfreshAtEveryCall) {
  writeFile(serverFile(), R"({"url": "http://127.0.0.1:9/app/"})");
  auto first = organisationServer(root.str());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->absoluteString(), "http://127.0.0.1:9/app/");

  writeFile(serverFile(), R"({"url": "https://other.example/"})");
  EXPECT_EQ(organisationServer(root.str())->absoluteString(), "https://other.example/");

  std::filesystem::remove(serverFile());
  EXPECT_FALSE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, AFileThatIsADirectoryMeansLocalMode) {
  std::filesystem::create_directory(serverFile());
  EXPECT_FALSE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, AFileWithoutReadPermissionMeansLocalMode) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root reads files whatever their mode; the symbolic-link loop below "
                    "covers a file that cannot be opened";
  }
  writeFile(serverFile(), R"({"url": "http://h/"})");
  std::filesystem::permissions(serverFile(), std::filesystem::perms::none);
  EXPECT_FALSE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, AFileThatCannotBeOpenedMeansLocalMode) {
  // A symbolic link to itself fails to open for every user, root included.
  std::filesystem::create_symlink("server.json", serverFile());
  EXPECT_FALSE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, ALinkToAValidFileIsFollowed) {
  writeFile(root / "elsewhere.json", R"({"url": "http://h/"})");
  std::filesystem::create_symlink("elsewhere.json", serverFile());
  EXPECT_TRUE(organisationServer(root.str()).has_value());
}

TEST_F(ServerFileReadTest, AFileOverOneMebibyteOrNestedTooDeepMeansLocalMode) {
  const std::string url = R"({"url": "http://h/", "pad": ")";
  writeFile(serverFile(), url + std::string((1 << 20) - url.size() - 2, ' ') + "\"}");
  ASSERT_EQ(std::filesystem::file_size(serverFile()), 1u << 20);
  EXPECT_TRUE(organisationServer(root.str()).has_value()) << "exactly 1 MiB is read";
  writeFile(serverFile(), url + std::string((1 << 20) - url.size() - 1, ' ') + "\"}");
  EXPECT_FALSE(organisationServer(root.str()).has_value()) << "one byte more is not";

  const std::string deep = R"({"url": "http://h/", "deep": )";
  writeFile(serverFile(), deep + std::string(63, '[') + std::string(63, ']') + "}");
  EXPECT_TRUE(organisationServer(root.str()).has_value()) << "64 levels";
  writeFile(serverFile(), deep + std::string(64, '[') + std::string(64, ']') + "}");
  EXPECT_FALSE(organisationServer(root.str()).has_value()) << "65 levels";
}

TEST_F(ServerFileReadTest, ANamedPipeMeansLocalModeWithoutBlocking) {
  ASSERT_EQ(::mkfifo(serverFile().c_str(), 0600), 0);
  auto answer = std::async(std::launch::async, [&] { return organisationServer(root.str()); });
  if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Release the blocked reader so that the test can end, then fail.
    const int writer = ::open(serverFile().c_str(), O_WRONLY);
    ::close(writer);
    FAIL() << "reading server.json blocked on a named pipe";
  }
  EXPECT_FALSE(answer.get().has_value());
}

}  // namespace
}  // namespace lumivant
