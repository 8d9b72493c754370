#include "backend/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

// glibc 2.36's <sys/pidfd.h> declares its functions without the extern "C"
// block that its other headers have, so C++ would look for mangled names.
// Drop the wrapper once the oldest supported glibc's header has the block.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <system_error>
#include <thread>

namespace lumivant {

namespace {

// posix_spawn's attribute and file-action objects, released on every path.
class SpawnSettings {
 public:
  explicit SpawnSettings(int outputFd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    // Both output streams on the one descriptor, then every descriptor from 3
    // on closed: the child keeps 0, 1 and 2 and nothing else of ours, however
    // many descriptors the toolkit, the web engine or libcurl hold open without
    // close-on-exec.
    check(posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO));
    check(posix_spawn_file_actions_adddup2(&actions_, outputFd, STDERR_FILENO));
    check(posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1));

    // The spawning thread may block signals or the process may ignore some;
    // the child starts with none blocked and every signal at its default.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    check(posix_spawnattr_setsigmask(&attributes_, &none));
    check(posix_spawnattr_setsigdefault(&attributes_, &all));
    // A process group of its own, led by the child: its descendants stay
    // together in it, apart from the shell's, unless they leave it.
    check(posix_spawnattr_setpgroup(&attributes_, 0));
    check(posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP));
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  static void check(int error) {
    if (error != 0) throw std::system_error(error, std::generic_category(), "posix_spawn settings");
  }
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

std::vector<char*> nullTerminated(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Blocks until the child behind the pidfd has ended, and reaps it.
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
  const SpawnSettings settings(launch.outputFd);
  std::vector<char*> argv = nullTerminated(launch.arguments);
  std::vector<char*> envp = nullTerminated(launch.environment);

  pid_t pid = -1;
  // glibc reports a failed exec (a missing or non-executable file) here too.
  const int spawnError = posix_spawn(&pid, launch.executable.c_str(), settings.actions(),
                                     settings.attributes(), argv.data(), envp.data());
  if (spawnError != 0) throw std::system_error(spawnError, std::generic_category(), "posix_spawn");

  // Until it is reaped the child's process id cannot be reused, so opening the
  // pidfd right after the spawn always refers to our child.
  UniqueFd pidfd(pidfd_open(pid, 0));
  if (!pidfd) {
    const int error = errno;
    ::kill(pid, SIGKILL);  // still unreaped, so the id is still our child's
    waitpid(pid, nullptr, 0);
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
    throw;
  }
  return child;
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}

void ChildProcess::watch(const EndHandler& onEnd) {
  const ChildExit exit = reap(pidfd_.get());
  {
    std::lock_guard lock(mutex_);
    exit_ = exit;
  }
  ended_.notify_all();
  if (onEnd) onEnd(exit);
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

void ChildProcess::sendSignal(int signal) const {
  // After the reap the pidfd refers to nothing and the call fails with ESRCH,
  // which is exactly "does nothing".
  pidfd_send_signal(pidfd_.get(), signal, nullptr, 0);
}

}  // namespace lumivant
