#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "selfupdate/StagedSwap.h"
#include "support/TempDir.h"

namespace lumivant::testing {

// A bundle with a running executable, a data root with a payload, and a record
// of everything the swap logs and asks of the application.
class SwapFixture : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string bundle = temp / "Lumivant";
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string previous = temp / "Lumivant/Lumivant.old";
  const std::string dataRoot = temp / "data";
  const std::string oldBytes = std::string(
                                   "\x7f"
                                   "ELF old shell\n",
                                   14) +
                               std::string(70'000, 'o');
  const std::string newBytes = std::string(
                                   "\x7f"
                                   "ELF new shell\n",
                                   14) +
                               std::string(90'000, 'n');

  std::vector<std::string> lines;
  std::vector<std::string> relaunched;
  int terminationsScheduled = 0;

  void SetUp() override {
    writeFile(executable, oldBytes);
    std::filesystem::permissions(executable, std::filesystem::perms(0755));
  }

  // Points payload/current.json at version and, unless told otherwise, stages
  // the new shell under it.
  std::string stage(const std::string& version, const std::string& bytes) {
    writeFile(dataRoot + "/payload/current.json", "{\"version\": \"" + version + "\"}");
    const std::string staged = dataRoot + "/" + stagedShellPath(version);
    writeFile(staged, bytes);
    return staged;
  }

  SwapSite site(const std::string& ownVersion = "1.2.9") const {
    return SwapSite{executable, bundle, ownVersion, dataRoot};
  }

  SwapActions actions() {
    return SwapActions{[this](const std::string& directory) { relaunched.push_back(directory); },
                       [this] { ++terminationsScheduled; }};
  }

  bool swap(const SwapSite& where, SwapFileOperations& files = systemFileOperations()) {
    SwapServices services;
    services.log = [this](const std::string& line) { lines.push_back(line); };
    services.files = &files;
    return replaceMyselfIfANewerShellIsStaged(where, actions(), services);
  }
  bool swap() { return swap(site()); }

  // The bundle directory's entries other than the executable itself.
  std::vector<std::string> strayFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(bundle))
      if (entry.path() != executable) names.push_back(entry.path().filename());
    return names;
  }

  static unsigned modeOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return 0;
    return status.st_mode & 07777;
  }

  // Nothing swapped and nothing asked of the application.
  void expectUntouched() {
    EXPECT_EQ(readFile(executable), oldBytes);
    EXPECT_EQ(modeOf(executable), 0755u);
    EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
    EXPECT_TRUE(relaunched.empty());
    EXPECT_EQ(terminationsScheduled, 0);
  }
};

}  // namespace lumivant::testing
