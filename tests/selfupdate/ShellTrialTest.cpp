// The trial a staged shell gets before a swap goes on, with real programs.

#include "selfupdate/ShellTrial.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::Optional;
using testing::ScopedEnv;
using testing::TempDir;
using testing::writeFile;

TEST(VersionLineTest, IsOneLineNamingTheShellAndAVersionWithoutBlanksOrControls) {
  EXPECT_EQ(versionLine("1.0.0"), "Lumivant 1.0.0\n");
  EXPECT_TRUE(isVersionLine("Lumivant 1.0.0\n"));
  EXPECT_TRUE(isVersionLine("Lumivant 2.0.0-rc.1+build.7\n"));
  EXPECT_TRUE(isVersionLine("Lumivant " + std::string(64, '9') + "\n"));
  for (const std::string& output :
       {std::string(), std::string("Lumivant 1.0.0"), std::string("Lumivant \n"),
        std::string("Lumivant 1.0 beta\n"), std::string("Lumivant 1.0\x7f\n"),
        std::string("Lumivant 1.0\n\n"), std::string("lumivant 1.0\n"),
        std::string("Lumivant 1.0\nLumivant 1.0\n"), "Lumivant " + std::string(65, '9') + "\n"})
    EXPECT_FALSE(isVersionLine(output)) << output;
}

class ShellTrialTest : public ::testing::Test {
 protected:
  TempDir temp;

  std::string program(const std::string& script, fs::perms mode = fs::perms(0755)) {
    std::string path = temp / "shell";
    writeFile(path, script);
    fs::permissions(path, mode);
    return path;
  }
};

TEST_F(ShellTrialTest, AShellThatPrintsItsVersionWithAllSymbolsBoundAndNoDisplayPasses) {
  // It answers only when asked the shell's own question in the trial's environment.
  const std::string shell = program(
      "#!/bin/sh\n"
      "[ \"$#\" = 1 ] && [ \"$1\" = --print-version ] && [ \"$LD_BIND_NOW\" = 1 ] &&\n"
      "[ -z \"${DISPLAY+set}\" ] && [ -z \"${WAYLAND_DISPLAY+set}\" ] || exit 9\n"
      "echo 'Lumivant 1.3.0'\n");
  ScopedEnv display("DISPLAY", ":99");
  ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-9");
  EXPECT_EQ(shellTrialProblem(shell), std::nullopt);
}

struct Unrunnable {
  std::string what;
  std::string script;
  std::string happened;
  fs::perms mode = fs::perms(0755);
};

TEST_F(ShellTrialTest, EveryOtherOutcomeSaysWhatHappened) {
  const std::vector<Unrunnable> cases = {
      {"its interpreter is missing", "#!/lib64/no-such-loader.so.9\n",
       "it cannot be executed: No such file or directory"},
      {"not executable", "#!/bin/sh\necho 'Lumivant 1.3.0'\n",
       "it cannot be executed: Permission denied", fs::perms(0644)},
      {"another program", "#!/bin/sh\nexit 0\n", "it exited with status 0 and printed nothing"},
      {"another program's output", "#!/bin/sh\necho 'true (GNU coreutils) 9.1'\n",
       "it exited with status 0 but printed \"true (GNU coreutils) 9.1\\n\" instead of its "
       "version"},
      {"its version, then a failure", "#!/bin/sh\necho 'Lumivant 1.3.0'\nexit 1\n",
       "it exited with status 1 and printed \"Lumivant 1.3.0\\n\""},
      {"a library missing",
       "#!/bin/sh\necho 'error while loading shared libraries: libgone.so.1' >&2\nexit 127\n",
       "it exited with status 127 and printed \"error while loading shared libraries: "
       "libgone.so.1\\n\""},
      {"a crash", "#!/bin/sh\nkill -SEGV $$\n",
       "it was killed by signal 11 (Segmentation fault) and printed nothing"},
  };
  for (const Unrunnable& unrunnable : cases) {
    EXPECT_THAT(shellTrialProblem(program(unrunnable.script, unrunnable.mode)),
                Optional(unrunnable.happened))
        << unrunnable.what;
  }
}

TEST_F(ShellTrialTest, AShellThatHangsIsStoppedAtTheLimit) {
  const std::string pidFile = temp / "pid";
  const std::string shell = program("#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 60\n");
  EXPECT_THAT(shellTrialProblem(shell, std::chrono::milliseconds(500)),
              Optional(std::string("it did not finish within 500 ms")));
  const pid_t pid = std::stoi(testing::readFile(pidFile));
  EXPECT_NE(::kill(pid, 0), 0) << "killed and reaped";
}

}  // namespace
}  // namespace lumivant
