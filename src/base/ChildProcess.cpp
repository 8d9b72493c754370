#include "base/ChildProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36's <sys/pidfd.h> declares its functions without the extern "C"
// block that its other headers have, so C++ would look for mangled names.
// Drop the wrapper once the oldest supported glibc's header has the block.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <system_error>
#include <thread>

#include "base/OwnChildren.h"

namespace lumivant {

namespace {

// In the forked child, before its exec: only async-signal-safe calls, since
// the shell has other threads whose locks the copy may hold. Never returns.
[[noreturn]] void becomeChild(const char* executable, char* const* argv, char* const* envp,
                              int outputFd, int failureReport) {
  // The spawning thread may block signals or the process may handle or
  // ignore some; the child starts with none blocked and every one at its
  // default. (Those the system reserves refuse, which is fine.)
  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // A process group of its own, led by the child: its descendants stay
  // together in it, apart from the shell's, unless they leave it.
  setpgid(0, 0);
  // Kept across the exec: whatever below the child loses its parent comes to
  // the child, and the child's tree holds every descendant it has.
  prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
  // Both output streams on the one descriptor, and every descriptor from 3 on
  // closed by the exec: the child keeps 0, 1 and 2 and nothing else of ours,
  // however many descriptors the toolkit, the web engine or libcurl hold open
  // without close-on-exec.
  if (dup2(outputFd, STDOUT_FILENO) < 0 || dup2(outputFd, STDERR_FILENO) < 0 ||
      close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    const int error = errno;
    (void)!write(failureReport, &error, sizeof error);
    _exit(127);
  }
  execve(executable, argv, envp);
  const int error = errno;
  (void)!write(failureReport, &error, sizeof error);
  _exit(127);
}

std::vector<char*> nullTerminated(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Blocks until the child behind the pidfd has ended, without reaping it.
void awaitEnd(int pidfd) {
  siginfo_t info{};
  while (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info,
                WEXITED | WNOWAIT) != 0 &&
         errno == EINTR) {
  }
}

// Reaps the ended child behind the pidfd.
ChildExit reap(int pidfd) {
  siginfo_t info{};
  int result;
  do {
    result = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    // Somebody else reaped it (SIGCHLD ignored process-wide, say): it has
    // ended, and how is lost.
    return {ChildExit::Reason::exit, -1};
  }
  if (info.si_code == CLD_EXITED) return {ChildExit::Reason::exit, info.si_status};
  return {ChildExit::Reason::uncaughtSignal, info.si_status};
}

}  // namespace

std::shared_ptr<ChildProcess> ChildProcess::spawn(const ChildLaunch& launch, EndHandler onEnd) {
  std::vector<char*> argv = nullTerminated(launch.arguments);
  std::vector<char*> envp = nullTerminated(launch.environment);

  // The child writes why its exec failed here; a successful exec closes the
  // pipe without a word.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  UniqueFd reportRead(report[0]);
  UniqueFd reportWrite(report[1]);
  OwnChildStart start;
  const pid_t pid = fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    becomeChild(launch.executable.c_str(), argv.data(), envp.data(), launch.outputFd,
                reportWrite.get());
  }
  start.started(pid);
  reportWrite.reset();
  int execError = 0;
  ssize_t got;
  do {
    got = read(reportRead.get(), &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  if (got == sizeof execError) {
    waitpid(pid, nullptr, 0);
    forgetOwnChild(pid);
    throw std::system_error(execError, std::generic_category(), "execve");
  }

  // Until it is reaped the child's process id cannot be reused, so opening the
  // pidfd right after the spawn always refers to our child.
  UniqueFd pidfd(pidfd_open(pid, 0));
  if (!pidfd) {
    const int error = errno;
    ::kill(pid, SIGKILL);  // still unreaped, so the id is still our child's
    waitpid(pid, nullptr, 0);
    forgetOwnChild(pid);
    throw std::system_error(error, std::generic_category(), "pidfd_open");
  }

  auto child = std::make_shared<ChildProcess>(pid, std::move(pidfd));
  try {
    // Detached: the watcher ends when the child does, and it keeps its own
    // reference, so a child that outlives its owner is still reaped.
    std::thread([child, onEnd = std::move(onEnd)] { child->watch(onEnd); }).detach();
  } catch (const std::system_error&) {
    child->sendSignal(SIGKILL);
    reap(child->pidfd_.get());
    forgetOwnChild(pid);
    throw;
  }
  return child;
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}

void ChildProcess::watch(const EndHandler& onEnd) {
  awaitEnd(pidfd_.get());
  {
    std::lock_guard reaping(reapMutex_);
    const ChildExit exit = reap(pidfd_.get());
    forgetOwnChild(pid_);
    std::lock_guard lock(mutex_);
    exit_ = exit;
  }
  ended_.notify_all();
  if (onEnd) onEnd(*this->exit());
}

bool ChildProcess::isRunning() const {
  std::lock_guard lock(mutex_);
  return !exit_;
}

std::optional<ChildExit> ChildProcess::exit() const {
  std::lock_guard lock(mutex_);
  return exit_;
}

bool ChildProcess::waitForEnd(std::chrono::steady_clock::time_point deadline) const {
  std::unique_lock lock(mutex_);
  return ended_.wait_until(lock, deadline, [this] { return exit_.has_value(); });
}

bool ChildProcess::whileUnreaped(const std::function<void()>& action) const {
  std::lock_guard reaping(reapMutex_);
  if (!isRunning()) return false;
  action();
  return true;
}

void ChildProcess::sendSignal(int signal) const {
  // After the reap the pidfd refers to nothing and the call fails with ESRCH,
  // which is exactly "does nothing".
  pidfd_send_signal(pidfd_.get(), signal, nullptr, 0);
}

}  // namespace lumivant
