#include "selfupdate/RelaunchedShell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>

#include "selfupdate/Relaunch.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

// How long a shell that closed its socket without a word may take to end.
constexpr std::chrono::seconds kEndAfterSilence{2};

std::string errorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Polls the descriptors until one is ready or the deadline; false at the deadline.
bool pollUntil(pollfd* fds, nfds_t count, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds, count, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

enum class Word { started, closed, none };

// What the socket holds now, without waiting.
Word readWord(int channel) {
  char message = 0;
  for (;;) {
    const ssize_t count = ::recv(channel, &message, 1, MSG_DONTWAIT);
    if (count == 1 && message == kStartedMessage) return Word::started;
    if (count == 1) continue;  // nothing this side knows; read on
    if (count == 0) return Word::closed;
    if (errno == EINTR) continue;
    return errno == EAGAIN ? Word::none : Word::closed;
  }
}

}  // namespace

std::unique_ptr<RelaunchedShell> RelaunchedShell::start(const std::string& program,
                                                        const std::vector<std::string>& arguments) {
  std::unique_ptr<RelaunchedShell> shell(new RelaunchedShell());
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    shell->startFailure_ = "it could not be started: " + errorText(errno);
    return shell;
  }
  shell->channel_ = UniqueFd(ends[0]);
  const UniqueFd theirs(ends[1]);

  int error = 0;
  const DetachedExtras extras{theirs.get(),
                              {std::string(kStartConfirmationVariable) + "=" +
                               std::to_string(kStartConfirmationDescriptor)}};
  const std::optional<pid_t> pid = startDetached(program, arguments, extras, &error);
  if (!pid) {
    shell->startFailure_ = "it could not be started: " + errorText(error);
    return shell;
  }
  shell->pid_ = *pid;
  // Unreaped, the child's id cannot have been reused yet.
  shell->process_ = UniqueFd(pidfdOpen(*pid));
  return shell;
}

StartReport RelaunchedShell::awaitStart(std::chrono::milliseconds limit) {
  if (!startFailure_.empty()) return {false, startFailure_};
  const Clock::time_point deadline = Clock::now() + limit;
  pollfd watched[2] = {{channel_.get(), POLLIN, 0}, {process_.get(), POLLIN, 0}};
  const nfds_t count = process_ ? 2 : 1;
  while (pollUntil(watched, count, deadline)) {
    // Its word counts even when it ended right after sending it.
    const Word word = readWord(channel_.get());
    if (word == Word::started) {
      // Left open for the rest of this process, and closed by its end: that
      // is how the new shell learns that this one has gone.
      (void)channel_.release();
      return {true, {}};
    }
    if (word == Word::closed) {
      pollfd ended{process_.get(), POLLIN, 0};
      if (process_) (void)pollUntil(&ended, 1, Clock::now() + kEndAfterSilence);
      return {false, stopAndDescribe() + " before it showed its window"};
    }
    if (count == 2 && (watched[1].revents & POLLIN))
      return {false, stopAndDescribe() + " before it showed its window"};
  }
  return {false, "it did not say within " + describeDuration(limit) +
                     " that it showed its window; " + stopAndDescribe()};
}

std::string RelaunchedShell::stopAndDescribe() {
  if (!process_) return "it ended";
  pollfd ended{process_.get(), POLLIN, 0};
  const bool stillRunning = ::poll(&ended, 1, 0) == 0;
  if (stillRunning) ::syscall(SYS_pidfd_send_signal, process_.get(), SIGKILL, nullptr, 0);
  siginfo_t info{};
  int result;
  do {
    result =
        ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(process_.get()), &info, WEXITED);
  } while (result != 0 && errno == EINTR);
  process_.reset();
  if (stillRunning) return "it was stopped";
  if (result != 0) return "it ended";
  if (info.si_code == CLD_EXITED) return "it exited with status " + std::to_string(info.si_status);
  return "it was killed by signal " + std::to_string(info.si_status) + " (" +
         ::strsignal(info.si_status) + ")";
}

std::unique_ptr<RelaunchedShell> relaunchBundle(const std::string& bundleDirectory) {
  const std::string executable = bundleDirectory + "/Lumivant";
  return RelaunchedShell::start(executable, {executable, kReplaceInstanceArgument});
}

}  // namespace lumivant
