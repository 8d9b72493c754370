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
#include <cstring>
#include <system_error>
#include <thread>

#include "base/OwnChildren.h"

namespace lumivant {

namespace {

// Room for any process id's decimal digits in the LISTEN_PID entry.
constexpr size_t kPidDigits = 20;

// What the forked child does before its exec, all of it prepared by the
// parent: the child may only make async-signal-safe calls, since the shell has
// other threads whose locks the copy may hold.
struct ChildSetup {
  const char* executable;
  char* const* argv;
  char* const* envp;
  int outputFd;
  int listeningSocket;    // -1 when none is handed down
  char* listenPidDigits;  // where the LISTEN_PID entry's value goes, or null
  int failureReport;      // where the child writes the errno that stopped it
};

// The decimal digits of a non-negative number, NUL-terminated, without
// allocating: out has room for kPidDigits digits and the terminator.
void writeDecimal(char* out, long value) {
  char reversed[kPidDigits];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && count < kPidDigits);
  for (size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  out[count] = '\0';
}

// Moves a descriptor to a number of at least lowest, close-on-exec, unless it
// is there already. -1 when it could not be moved.
int movedAtLeastTo(int fd, int lowest) {
  return fd >= lowest ? fd : fcntl(fd, F_DUPFD_CLOEXEC, lowest);
}

[[noreturn]] void failInChild(int failureReport) {
  const int error = errno;
  (void)!write(failureReport, &error, sizeof error);
  _exit(127);
}

// In the forked child, before its exec. Never returns.
[[noreturn]] void becomeChild(ChildSetup setup) {
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

  constexpr int kSocketFd = STDERR_FILENO + 1;  // descriptor 3, by the convention
  const bool handsSocket = setup.listeningSocket >= 0;
  if (handsSocket) {
    // Whatever is still needed goes above descriptor 3 first, so that putting
    // the socket there replaces nothing of ours (a shell started with its
    // standard descriptors closed has its own descriptors that low).
    const int report = movedAtLeastTo(setup.failureReport, kSocketFd + 1);
    if (report < 0) failInChild(setup.failureReport);
    setup.failureReport = report;
    setup.listeningSocket = movedAtLeastTo(setup.listeningSocket, kSocketFd + 1);
    if (setup.listeningSocket < 0) failInChild(setup.failureReport);
  }
  // Both output streams on the one descriptor.
  if (dup2(setup.outputFd, STDOUT_FILENO) < 0 || dup2(setup.outputFd, STDERR_FILENO) < 0) {
    failInChild(setup.failureReport);
  }
  // The socket as descriptor 3, which dup2 leaves open across the exec, and
  // the pid it is meant for, which only the child itself knows.
  if (handsSocket) {
    if (dup2(setup.listeningSocket, kSocketFd) < 0) failInChild(setup.failureReport);
    writeDecimal(setup.listenPidDigits, static_cast<long>(getpid()));
  }
  // Every descriptor above those closed by the exec: the child keeps 0, 1, 2
  // (and 3) and nothing else of ours, however many descriptors the toolkit,
  // the web engine or libcurl hold open without close-on-exec.
  const unsigned firstClosed = handsSocket ? kSocketFd + 1 : kSocketFd;
  if (close_range(firstClosed, ~0U, CLOSE_RANGE_CLOEXEC) != 0) failInChild(setup.failureReport);
  execve(setup.executable, setup.argv, setup.envp);
  failInChild(setup.failureReport);
}

bool isListenVariable(const std::string& entry) {
  for (const char* name : {kListenPidVariable, kListenFdsVariable, kListenFdNamesVariable}) {
    const size_t length = std::strlen(name);
    if (entry.size() > length && entry.compare(0, length, name) == 0 && entry[length] == '=') {
      return true;
    }
  }
  return false;
}

// The launch's environment with the socket-activation variables this launch
// calls for and no others.
std::vector<std::string> environmentFor(const ChildLaunch& launch,
                                        const std::optional<HandedSocket>& socket) {
  std::vector<std::string> environment;
  environment.reserve(launch.environment.size() + 3);
  for (const std::string& entry : launch.environment) {
    if (!isListenVariable(entry)) environment.push_back(entry);
  }
  if (socket) {
    environment.push_back(std::string(kListenFdsVariable) + "=1");
    environment.push_back(std::string(kListenFdNamesVariable) + "=" + socket->name);
    // Filled in by the child: room for the digits and the terminator.
    environment.push_back(std::string(kListenPidVariable) + "=" + std::string(kPidDigits, '0'));
  }
  return environment;
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

std::shared_ptr<ChildProcess> ChildProcess::spawn(const ChildLaunch& launch, EndHandler onEnd,
                                                  const std::optional<HandedSocket>& socket) {
  std::vector<char*> argv = nullTerminated(launch.arguments);
  std::vector<std::string> environment = environmentFor(launch, socket);
  std::vector<char*> envp = nullTerminated(environment);
  // The LISTEN_PID entry is the last one when there is a socket to hand down.
  char* listenPidDigits = nullptr;
  if (socket) {
    listenPidDigits = environment.back().data() + std::strlen(kListenPidVariable) + 1;
  }

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
    becomeChild(ChildSetup{launch.executable.c_str(), argv.data(), envp.data(), launch.outputFd,
                           socket ? socket->descriptor : -1, listenPidDigits, reportWrite.get()});
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
