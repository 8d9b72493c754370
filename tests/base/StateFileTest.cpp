// The shell's state files on a real file system: what reading finds in each
// kind of damage, what a write does with it, and shells of several data roots
// writing one shared file at once.

#include "base/StateFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "base/JsonDocument.h"
#include "base/UniqueFd.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr const char* kOtherRoot = "/home/u/other-root";
constexpr const char* kThisRoot = "/home/u/this-root";
const std::string kOtherEntry = std::string("{\"") + kOtherRoot + "\": 41234";

// Reads path as the shell does, failing the test rather than hanging in it.
FileRead readWithoutHanging(const StateFile& file) {
  auto reading = std::async(std::launch::async, [&] { return file.read(); });
  if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // A reader blocked in open on a FIFO is released by a writer.
    UniqueFd writer(::open(file.path().c_str(), O_WRONLY | O_NONBLOCK));
    ADD_FAILURE() << "reading " << file.path() << " blocked";
  }
  return reading.get();
}

struct Planting {
  const char* what;
  std::function<void(const std::string& path, const TempDir& dir)> plant;
  FileState found;
  // Whether the other data root's entry is read back, and kept by a write.
  bool otherEntryKept;
  // Whether a write first sets the file as it was aside.
  bool setAside;
};

const Planting kPlantings[] = {
    {"nothing", [](const std::string&, const TempDir&) {}, FileState::missing, false, false},
    {"an empty file", [](const std::string& path, const TempDir&) { writeFile(path, ""); },
     FileState::ok, false, false},
    {"a whole file",
     [](const std::string& path, const TempDir&) { writeFile(path, kOtherEntry + "}"); },
     FileState::ok, true, false},
    {"garbage",
     [](const std::string& path, const TempDir&) { writeFile(path, kOtherEntry + ", garbage"); },
     FileState::ok, false, true},
    {"another data root's entry nested too deep",
     [](const std::string& path, const TempDir&) {
       writeFile(path, kOtherEntry + R"(, "/home/u/deep": {"x": )" + std::string(100, '[') +
                           std::string(100, ']') + "}}");
     },
     FileState::ok, true, true},
    {"an array nested too deep before another data root's entry",
     [](const std::string& path, const TempDir&) {
       writeFile(path, R"({"/home/u/deep": )" + std::string(100, '[') + std::string(100, ']') +
                           ", " + kOtherEntry.substr(1) + "}");
     },
     FileState::ok, true, true},
    {"a FIFO",
     [](const std::string& path, const TempDir&) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
     FileState::damaged, false, true},
    {"a directory",
     [](const std::string& path, const TempDir&) { fs::create_directories(fs::path(path) / "x"); },
     FileState::damaged, false, true},
    {"a symbolic link to a whole file",
     [](const std::string& path, const TempDir& dir) {
       writeFile(dir / "elsewhere.json", kOtherEntry + "}");
       fs::create_symlink(dir / "elsewhere.json", path);
     },
     FileState::damaged, false, true},
    {"a sparse file of a gibibyte",
     [](const std::string& path, const TempDir&) {
       writeFile(path, kOtherEntry + "}");
       fs::resize_file(path, std::uintmax_t{1} << 30);
     },
     FileState::damaged, false, true},
};

TEST(StateFileTest, EachKindOfDamageIsReadAtOnceAndSetAsideByTheNextWrite) {
  for (const Planting& planting : kPlantings) {
    SCOPED_TRACE(planting.what);
    TempDir dir;
    const std::string path = dir / "state/backend-ports.json";
    fs::create_directories(dir / "state");
    planting.plant(path, dir);
    std::error_code error;
    const fs::file_type plantedType = fs::symlink_status(path, error).type();
    const std::string plantedText =
        plantedType == fs::file_type::regular && fs::file_size(path) < 4096 ? readFile(path) : "";

    const StateFile state(path, kJsonFileLimitBytes);
    EXPECT_EQ(readWithoutHanging(state).state, planting.found);
    const JsonObjectFile file(path);
    EXPECT_EQ(file.value(kOtherRoot) == 41234, planting.otherEntryKept);

    ASSERT_TRUE(file.setValue(kThisRoot, 41235));
    EXPECT_EQ(file.value(kThisRoot), 41235);
    EXPECT_EQ(file.value(kOtherRoot) == 41234, planting.otherEntryKept);
    EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::regular);
    const nlohmann::json written = nlohmann::json::parse(readFile(path));
    EXPECT_EQ(written.size(), planting.otherEntryKept ? 2u : 1u) << written;

    const std::string aside = setAsidePath(path);
    ASSERT_EQ(fs::exists(fs::symlink_status(aside)), planting.setAside);
    if (!planting.setAside) continue;
    // What was there is kept as it was, however it was damaged.
    EXPECT_EQ(fs::symlink_status(aside).type(), plantedType);
    if (!plantedText.empty()) {
      EXPECT_EQ(readFile(aside), plantedText);
    }
    if (plantedType == fs::file_type::symlink) {
      EXPECT_EQ(fs::read_symlink(aside), dir / "elsewhere.json");
      EXPECT_EQ(readFile(dir / "elsewhere.json"), kOtherEntry + "}") << "the link's target";
    }
    if (planting.found == FileState::damaged && plantedType == fs::file_type::regular) {
      EXPECT_EQ(fs::file_size(aside), std::uintmax_t{1} << 30);
    }
  }
}

TEST(StateFileTest, OnlyTheLastDamagedFileIsKept) {
  TempDir dir;
  const std::string path = dir / "page-zoom.json";
  const JsonObjectFile file(path);
  for (const std::string garbage : {"first garbage", "second garbage", "third garbage"}) {
    writeFile(path, garbage);
    ASSERT_TRUE(file.setValue(kThisRoot, 1.25));
    EXPECT_EQ(readFile(setAsidePath(path)), garbage);
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"page-zoom.json", "page-zoom.json.damaged",
                                             "page-zoom.json.lock"}));
}

TEST(StateFileTest, AFileTheSystemWillNotOpenIsNeitherSetAsideNorWrittenOver) {
  TempDir dir;
  const std::string path = dir / "backend-ports.json";
  writeFile(path, kOtherEntry + "}");
  // In a child with one descriptor left, which the lock takes: the file
  // itself then cannot be opened, as when a process runs out of descriptors.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{64, 64};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(3);
    int last = -1;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) last = fd;
    ::close(last);
    const bool written = JsonObjectFile(path).setValue(kThisRoot, 41235);
    ::_exit(written ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written over; 3: no limit";
  EXPECT_EQ(readFile(path), kOtherEntry + "}");
  EXPECT_FALSE(fs::exists(setAsidePath(path)));
}

TEST(StateFileTest, ShellsOfSeveralDataRootsWritingAtOnceKeepEveryEntry) {
  TempDir dir;
  const std::string path = dir / "state/backend-ports.json";
  // Few enough that no write waits anywhere near the lock's time-out, each
  // holding the lock for a read and two flushes to disk.
  constexpr int kShells = 4;
  constexpr int kWritesEach = 10;
  std::vector<pid_t> shells;
  for (int shell = 0; shell < kShells; ++shell) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const JsonObjectFile file(path);
      bool allWritten = true;
      for (int write = 1; write <= kWritesEach; ++write) {
        allWritten = file.setValue("/root/" + std::to_string(shell), write) && allWritten;
      }
      ::_exit(allWritten ? 0 : 1);
    }
    shells.push_back(child);
  }
  for (const pid_t child : shells) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const JsonObjectFile file(path);
  for (int shell = 0; shell < kShells; ++shell) {
    EXPECT_EQ(file.value("/root/" + std::to_string(shell)), kWritesEach) << shell;
  }
  EXPECT_FALSE(fs::exists(setAsidePath(path)));
}

TEST(StateFileTest, AWriteWaitsForAnotherShellsWriteButNotForAHungOne) {
  TempDir dir;
  const std::string path = dir / "backend-ports.json";
  const JsonObjectFile file(path);
  ASSERT_TRUE(file.setValue(kOtherRoot, 41234));
  // Another shell's lock, on its own open file as another process has it.
  UniqueFd other(::open((path + ".lock").c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_EQ(::flock(other.get(), LOCK_EX), 0);

  auto waiting = std::async(std::launch::async, [&] { return file.setValue(kThisRoot, 41235); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  ::flock(other.get(), LOCK_UN);
  EXPECT_TRUE(waiting.get());
  EXPECT_EQ(file.value(kThisRoot), 41235);

  // One that never lets go costs this write only, after a while.
  ASSERT_EQ(::flock(other.get(), LOCK_EX), 0);
  EXPECT_FALSE(file.setValue(kThisRoot, 41236));
  EXPECT_EQ(file.value(kThisRoot), 41235);
  EXPECT_EQ(file.value(kOtherRoot), 41234);
}

}  // namespace
}  // namespace lumivant
