#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.h"

namespace lumivant {

// How a child process ended.
struct ChildExit {
  enum class Reason { exit, uncaughtSignal };
  Reason reason;
  int status;  // the exit status, or the number of the signal that killed it
};

// What to run: an executable path, its complete argument vector (argv[0]
// included), its complete environment ("NAME=value" entries), and the one open
// descriptor that becomes both its standard output and standard error.
struct ChildLaunch {
  std::string executable;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  int outputFd = -1;
};

// A listening socket handed down the way a socket-activating service manager
// hands one (sd_listen_fds(3)): as descriptor 3, with LISTEN_FDS=1,
// LISTEN_FDNAMES=<name> and LISTEN_PID=<the child's own pid> in the child's
// environment. The caller keeps its own descriptor.
struct HandedSocket {
  int descriptor = -1;
  std::string name;
};

// The environment variables of the socket-activation convention. A launch
// without a listening socket passes none of them on, whatever its environment
// holds, so that a child never takes a descriptor 3 it was not given for a socket.
inline constexpr const char* kListenPidVariable = "LISTEN_PID";
inline constexpr const char* kListenFdsVariable = "LISTEN_FDS";
inline constexpr const char* kListenFdNamesVariable = "LISTEN_FDNAMES";

// One spawned child process, from launch to reaping.
//
// The child leads a process group of its own, inherits only descriptors 0, 1
// and 2 (and 3, when it is handed a socket), whatever else the
// process holds open, and is the reaper of its own
// orphans: a descendant whose parent ends, also one that started a session of
// its own or cleared its environment, is re-parented to the child, so that all
// of them stay below it for as long as it runs. A pidfd refers to it
// from the first moment, and every signal goes through that pidfd, so a signal can never reach an
// unrelated process that was given the same process id after the child was reaped. A watcher thread
// of its own waits for the end, reaps the child (there is never a zombie left behind) and then
// reports the end once.
//
// Shared between its owner and the watcher thread: the object lives until the
// child has been reaped and its owner let go, whichever comes last.
class ChildProcess {
 public:
  using EndHandler = std::function<void(ChildExit)>;

  // Launches the child, handing it socket when there is one. onEnd runs once,
  // on the watcher thread, after the child was reaped. Throws
  // std::system_error when the child cannot be started; then onEnd never runs.
  static std::shared_ptr<ChildProcess> spawn(const ChildLaunch& launch, EndHandler onEnd,
                                             const std::optional<HandedSocket>& socket = {});

  ChildProcess(pid_t pid, UniqueFd pidfd);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // True until the child has ended and been reaped.
  bool isRunning() const;
  // How the child ended, once it has.
  std::optional<ChildExit> exit() const;
  // Waits until the child has ended or the deadline passed; true when it ended.
  bool waitForEnd(std::chrono::steady_clock::time_point deadline) const;

  // Sends a signal through the pidfd. Does nothing once the child has ended.
  void sendSignal(int signal) const;

  // Runs action while the child is certainly not reaped, so that its process
  // id names it and nothing else throughout; false, without running it, once
  // the child has been reaped.
  bool whileUnreaped(const std::function<void()>& action) const;

 private:
  void watch(const EndHandler& onEnd);

  const pid_t pid_;
  const UniqueFd pidfd_;
  mutable std::mutex reapMutex_;  // held for the reap, and by whileUnreaped
  mutable std::mutex mutex_;
  mutable std::condition_variable ended_;
  std::optional<ChildExit> exit_;  // guarded by mutex_
};

}  // namespace lumivant
