#include "selfupdate/Declaration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "selfupdate/Sha256.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::MatchesRegex;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// What the system's own tool says the file's SHA-256 is.
std::string sha256sumOf(const std::string& path) {
  const std::string command = "sha256sum -- '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  char hash[65] = {};
  const size_t read = std::fread(hash, 1, 64, pipe);
  pclose(pipe);
  return std::string(hash, read);
}

std::string randomBytes(size_t size) {
  std::mt19937 generator(42);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

class DeclarationTest : public ::testing::Test {
 protected:
  TempDir temp;
  // Larger than one read block, so that hashing and size span several reads.
  const std::string executable = temp / "bundle/Lumivant";
  const std::string dataRoot = temp / "data";
  const std::string declaration = temp / "data/shell.json";

  void SetUp() override { writeFile(executable, randomBytes(200'001)); }
};

TEST_F(DeclarationTest, RecordsTheRunningExecutableAndThisPlatform) {
  fs::create_directories(dataRoot);
  const std::time_t before = std::time(nullptr);
  declareMyself(executable, dataRoot);
  const std::time_t after = std::time(nullptr);

  const nlohmann::json written = nlohmann::json::parse(readFile(declaration));
  ASSERT_TRUE(written.is_object());
  EXPECT_EQ(written.size(), 6u);
  EXPECT_EQ(written["path"], executable);
  EXPECT_EQ(written["platform"], "linux");
  EXPECT_EQ(written["self_replace"], true);
  EXPECT_EQ(written["size"], 200'001);
  EXPECT_EQ(written["sha256"], sha256sumOf(executable));
  EXPECT_THAT(written["sha256"].get<std::string>(), MatchesRegex("[0-9a-f]{64}"));

  const std::string declaredAt = written["declared_at"].get<std::string>();
  ASSERT_THAT(declaredAt, MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"));
  std::tm utc{};
  strptime(declaredAt.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  const std::time_t moment = timegm(&utc);
  EXPECT_GE(moment, before);
  EXPECT_LE(moment, after);
}

TEST_F(DeclarationTest, WritesOneMemberPerLineInNameOrder) {
  declareMyself(executable, dataRoot);
  const std::string text = readFile(declaration);
  std::vector<size_t> positions;
  for (const char* name : {"declared_at", "path", "platform", "self_replace", "sha256", "size"}) {
    const size_t at = text.find("\n  \"" + std::string(name) + "\": ");
    ASSERT_NE(at, std::string::npos) << name << " on a line of its own in\n" << text;
    positions.push_back(at);
  }
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << text;
}

TEST_F(DeclarationTest, CreatesAMissingDataRootWithItsParents) {
  const std::string deep = temp / "a/b/c";
  declareMyself(executable, deep);
  EXPECT_EQ(nlohmann::json::parse(readFile(deep + "/shell.json"))["size"], 200'001);
}

TEST_F(DeclarationTest, ReplacesAnEarlierDeclarationAndLeavesNoTemporaryFile) {
  writeFile(declaration, "{\"old\": true}");
  declareMyself(executable, dataRoot);
  EXPECT_EQ(nlohmann::json::parse(readFile(declaration)).count("old"), 0u);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dataRoot))
    names.push_back(entry.path().filename());
  EXPECT_THAT(names, ::testing::ElementsAre("shell.json"));
  EXPECT_EQ(fs::status(declaration).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

TEST_F(DeclarationTest, WriteWhoseRenameFailsLeavesNoTemporaryFileBeside) {
  // A directory in the declaration's place takes the temporary file's bytes
  // but refuses the rename over it.
  writeFile(declaration + "/kept", "x");
  declareMyself(executable, dataRoot);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dataRoot))
    names.push_back(entry.path().filename());
  EXPECT_THAT(names, ::testing::ElementsAre("shell.json"));
  EXPECT_EQ(readFile(declaration + "/kept"), "x");
}

TEST_F(DeclarationTest, DataRootThatIsAFileIsLeftAloneSilently) {
  writeFile(dataRoot, "not a directory");
  ::testing::internal::CaptureStderr();
  declareMyself(executable, dataRoot);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(readFile(dataRoot), "not a directory");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 2);
}

// Root reads any file whatever its mode, so the unreadable executables are a
// directory and a missing file, which nobody can read.
TEST_F(DeclarationTest, UnreadableExecutableLeavesTheEarlierDeclarationUntouched) {
  writeFile(declaration, "earlier");
  const std::string directory = temp / "bundle/AsDirectory";
  fs::create_directories(directory);
  for (const std::string& unreadable : {directory, temp / "bundle/Missing"}) {
    ::testing::internal::CaptureStderr();
    declareMyself(unreadable, dataRoot);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readFile(declaration), "earlier") << unreadable;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dataRoot), fs::directory_iterator()), 1);
}

TEST_F(DeclarationTest, UnreadableByModeWhenNotRoot) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  writeFile(declaration, "earlier");
  fs::permissions(executable, fs::perms::none);
  declareMyself(executable, dataRoot);
  EXPECT_EQ(readFile(declaration), "earlier");
}

class Sha256Test : public ::testing::Test {
 protected:
  TempDir temp;
};

TEST_F(Sha256Test, AgreesWithSha256sumForEmptySmallAndMultiBlockFiles) {
  for (size_t size : {size_t{0}, size_t{3}, size_t{65'536}, size_t{1'000'000}}) {
    const std::string path = temp / ("file-" + std::to_string(size));
    writeFile(path, randomBytes(size));
    const auto digest = digestOfFile(path);
    ASSERT_TRUE(digest) << size;
    EXPECT_EQ(digest->sha256, sha256sumOf(path)) << size;
    EXPECT_EQ(digest->size, size);
    EXPECT_EQ(sha256(path), digest->sha256);
  }
  EXPECT_EQ(sha256(temp / "file-0"),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(Sha256Test, HasNoAnswerForWhatIsNotAReadableFile) {
  const std::string fifo = temp / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO without a writer would block a reader forever; it is refused instead.
  for (const std::string& path : {temp.str(), temp / "missing", fifo})
    EXPECT_EQ(sha256(path), std::nullopt) << path;
}

}  // namespace
}  // namespace lumivant
