#pragma once

#include <elf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "selfupdate/StagedSwap.h"
#include "support/TempDir.h"

namespace lumivant::testing {

// A small but whole ELF executable for the machine the tests run on, of size
// bytes: the running executable's identity, one loadable segment over the
// whole file and a section header table at its end, with filler between that
// starts with marker.
inline std::string elfImage(const std::string& marker, size_t size) {
  Elf64_Ehdr header{};
  std::ifstream self("/proc/self/exe", std::ios::binary);
  self.read(reinterpret_cast<char*>(&header), sizeof header);
  header.e_type = ET_DYN;
  header.e_phoff = sizeof(Elf64_Ehdr);
  header.e_phentsize = sizeof(Elf64_Phdr);
  header.e_phnum = 1;
  header.e_shoff = size - sizeof(Elf64_Shdr);
  header.e_shentsize = sizeof(Elf64_Shdr);
  header.e_shnum = 1;
  header.e_shstrndx = 0;
  Elf64_Phdr segment{};
  segment.p_type = PT_LOAD;
  segment.p_filesz = segment.p_memsz = size;
  std::string image(size, '\0');
  std::memcpy(image.data(), &header, sizeof header);
  std::memcpy(image.data() + sizeof header, &segment, sizeof segment);
  std::memcpy(image.data() + sizeof header + sizeof segment, marker.data(), marker.size());
  return image;
}

// A bundle with a running executable, a data root with a payload, and a record
// of everything the swap logs and asks of the application.
class SwapFixture : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string bundle = temp / "Lumivant";
  const std::string executable = temp / "Lumivant/Lumivant";
  const std::string previous = temp / "Lumivant/Lumivant.old";
  const std::string dataRoot = temp / "data";
  const std::string oldBytes = elfImage("old shell", 70'000);
  const std::string newBytes = elfImage("new shell", 90'000);

  std::vector<std::string> lines;
  std::vector<std::string> relaunched;
  // What the trial of the copy about to be installed says; the images here
  // are no programs, so the trial is played.
  std::optional<std::string> trialProblem;
  std::vector<std::string> tried;

  void SetUp() override {
    writeFile(executable, oldBytes);
    std::filesystem::permissions(executable, std::filesystem::perms(0755));
  }

  // Points payload/current.json at version and, unless told otherwise, stages
  // the new shell under it.
  std::string stage(const std::string& version, const std::string& bytes) {
    writeFile(dataRoot + "/payload/current.json", "{\"version\": \"" + version + "\"}");
    std::string staged = dataRoot + "/" + stagedShellPath(version);
    writeFile(staged, bytes);
    return staged;
  }

  SwapSite site(const std::string& ownVersion = "1.2.9") const {
    return SwapSite{executable, bundle, ownVersion, dataRoot};
  }

  SwapActions actions() {
    return SwapActions{[this](const std::string& directory) { relaunched.push_back(directory); }};
  }

  SwapServices services(SwapFileOperations& files = systemFileOperations()) {
    SwapServices services;
    services.log = [this](const std::string& line) { lines.push_back(line); };
    services.files = &files;
    services.tryShell = [this](const std::string& program) {
      tried.push_back(readFile(program));
      return trialProblem;
    };
    return services;
  }

  bool swap(const SwapSite& where, SwapFileOperations& files = systemFileOperations()) {
    return replaceMyselfIfANewerShellIsStaged(where, actions(), services(files));
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
  }
};

}  // namespace lumivant::testing
