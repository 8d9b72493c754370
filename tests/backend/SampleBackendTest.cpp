// The sample backend as a process: what it holds open, and that it leaves
// when the process that started it is gone.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/FreePort.h"
#include "base/UniqueFd.h"

extern char** environ;

namespace lumivant {
namespace {

using ::testing::Each;
using ::testing::EndsWith;
using ::testing::Not;
using testing::TempDir;

TEST(SampleBackendTest, HoldsNoDescriptorOfTheShellsWhileItServes) {
  TempDir root;
  const std::string marker = root / "held-open-by-the-shell";
  UniqueFd held(open(marker.c_str(), O_WRONLY | O_CREAT, 0600));  // not close-on-exec
  ASSERT_TRUE(held);

  auto backend = std::make_shared<Backend>(LUMIVANT_SAMPLE_PYTHON, root / "logs");
  backend->start();
  ASSERT_EQ(backend->waitUntilReady(60), std::nullopt);

  // The child is the one process of ours listening on the backend's port.
  const std::vector<pid_t> children = testing::ourChildren();
  ASSERT_EQ(children.size(), 1u);
  std::vector<std::string> targets;
  for (const int fd : testing::openDescriptors(children[0])) {
    targets.push_back(testing::descriptorTarget(children[0], fd));
  }
  EXPECT_THAT(targets, Each(Not(EndsWith("held-open-by-the-shell"))));
  const std::string log = std::filesystem::canonical(backend->logPath()).string();
  EXPECT_EQ(testing::descriptorTarget(children[0], 1), log);
  EXPECT_EQ(testing::descriptorTarget(children[0], 2), log);
  backend->stop();
}

// A byte that is not UTF-8, left in the log by an earlier run, costs one
// character of the tail and not the whole tail.
TEST(SampleBackendTest, BackendThatExitsShowsItsTailDespiteAnInvalidByteInTheLog) {
  TempDir root;
  testing::writeFile(root / "logs/backend.log", "earlier run \xFF done\n");
  testing::ScopedEnv exitEarly("SAMPLE_EXIT_BEFORE_READY", "2");
  auto backend = std::make_shared<Backend>(LUMIVANT_SAMPLE_PYTHON, root / "logs");
  backend->start();
  const std::optional<ShellError> failure = backend->waitUntilReady(60);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code(), 2);
  EXPECT_EQ(failure->log(),
            "earlier run \uFFFD done\n"
            "sample backend: exiting with status 2 before becoming ready");
}

// Starts the sample backend from a shell that stays until its standard input
// closes, so the test decides when the backend's parent goes.
TEST(SampleBackendTest, ExitsSoonAfterItsParentHasGone) {
  int input[2], output[2];
  ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  UniqueFd toShell(input[1]), fromBackend(output[0]);
  UniqueFd shellInput(input[0]), shellOutput(output[1]);

  const std::string port = std::to_string(pickFreeLoopbackPort().value());
  const std::string script =
      "\"$0\" -B -m app.launcher start --port \"$1\" --no-browser --exit-with-parent 2>&1 & "
      "read line";
  std::vector<std::string> args = {"/bin/sh", "-c", script, LUMIVANT_SAMPLE_PYTHON, port};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, shellInput.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, shellOutput.get(), STDOUT_FILENO);
  pid_t shell = -1;
  ASSERT_EQ(posix_spawn(&shell, "/bin/sh", &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  shellInput.reset();
  shellOutput.reset();

  // Everything the backend prints, until the pipe's last writer has gone.
  std::string printed;
  auto readLine = [&]() {
    char c;
    while (read(fromBackend.get(), &c, 1) == 1) {
      printed += c;
      if (c == '\n') return true;
    }
    return false;
  };
  ASSERT_TRUE(readLine());
  EXPECT_EQ(printed, "sample backend listening on 127.0.0.1:" + port + "\n");

  toShell.reset();  // the shell's read ends, and so does the shell
  int status = 0;
  ASSERT_EQ(waitpid(shell, &status, 0), shell);
  while (readLine()) {
  }
  EXPECT_THAT(printed, ::testing::HasSubstr("sample backend: parent process has gone; exiting\n"));
}

}  // namespace
}  // namespace lumivant
