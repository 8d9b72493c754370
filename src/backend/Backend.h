#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backend/PortOwnership.h"
#include "backend/ProcessTree.h"
#include "backend/ShellError.h"
#include "base/ChildProcess.h"
#include "base/UniqueFd.h"
#include "base/Url.h"

namespace lumivant {

class HeldPort;

// How a Backend's child listens, and the secret it answers to.
struct BackendSetup {
  // The socket the shell holds for the backend, handed to the child as
  // descriptor 3 (LISTEN_FDS=1, LISTEN_FDNAMES=http, LISTEN_PID). Without one
  // the child binds the port itself: keptPort while it is free, else a fresh one.
  std::shared_ptr<const HeldPort> heldPort;
  std::optional<uint16_t> keptPort;
  // Given to the child in LUMIVANT_BACKEND_SECRET; a fresh one when empty.
  std::string secret;
};

// The one local backend: the bundled Python interpreter running the backend's
// launcher on a free port of 127.0.0.1, its output appended to logs/backend.log.
// Held by std::shared_ptr; the child's exit notification holds it weakly.
//
// The exit callback may hold the Backend strongly (it needs the log after the
// child ended): the Backend lets go of the callback once it has called it, and
// when stop() is called, so that the cycle ends there.
//
// Calling order: construct, start(), waitUntilReady(), then setOnExit() from the
// main thread; stop() and tailOfLog() at any time after construction.
class Backend : public std::enable_shared_from_this<Backend> {
 public:
  static constexpr int32_t restartExitCode = 3;

  // Takes the held port, or picks one (keptPort while it is free, else a fresh
  // one), and opens the log. Throws ShellError::noPort() when no port can be
  // had, PlatformError when the log directory or file cannot be made.
  Backend(std::string python, const std::string& logDirectory, BackendSetup setup);
  Backend(std::string python, const std::string& logDirectory,
          std::optional<uint16_t> keptPort = std::nullopt)
      : Backend(std::move(python), logDirectory, BackendSetup{nullptr, keptPort, {}}) {}
  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>/"
  const Url& url() const { return url_; }
  const std::string& logPath() const { return logPath_; }
  // The secret the child answers to.
  const std::string& secret() const { return secret_; }
  // Whether the child listens on the socket the shell holds.
  bool takesHeldSocket() const { return static_cast<bool>(heldPort_); }

  // Launches the child. Throws PlatformError when it cannot be started.
  void start();

  // Ends the child and every process descended from it, also those that
  // started a process group or session of their own and those they start on
  // the way out: SIGTERM, up to 2.0 s of waiting, then SIGKILL, until none is
  // left. Once called, the child's exit is reported to nobody. Blocks; never
  // fails. Also ends what a child that already ended left behind.
  void stop();

  // True once the child has ended and its descendants are gone (or it was
  // never launched and stop() was called).
  bool hasEnded() const;

  // The environment entry that marks the child's descendants as its own.
  const std::string& treeMarker() const { return treeMarker_; }

  // The child's descendants as last recorded while it ran (every 100 ms): when
  // the child ends by itself, these end with it even if nothing else (a
  // session, an environment, a living parent) ties them to it any more.
  std::vector<HeldProcess> recordedTree() const;

  // Who listens on 127.0.0.1:port(): the backend itself when every socket
  // there that a connection could reach is held by a process of its tree and
  // belongs to the shell's user; another program when any one is not (all of
  // them are once the child has ended). Always the backend on a held port,
  // which nobody else can listen on while the shell holds it.
  PortHolder portHolder() const;
  bool holdsItsPort() const { return portHolder() == PortHolder::backend; }

  // Called once on the exit-notification thread when the child ends and stop()
  // was not called: how it ended. A callback set after the child ended, or
  // after stop(), is dropped at once.
  void setOnExit(std::function<void(ChildExit exit)> onExit);

  // Polls <url>health/ready until it answers 200 (empty result), the child ends
  // (backendExited) or the timeout passes (neverBecameReady). An answer counts
  // only when the backend holds its port (holdsItsPort); one from another
  // program ends the wait with portTaken. Blocks the caller.
  std::optional<ShellError> waitUntilReady(double timeoutSeconds);

  // The last 25 non-empty lines of the log, joined by line feeds.
  std::string tailOfLog() const;

 private:
  using OnExit = std::function<void(ChildExit exit)>;

  // On the child's watcher thread, once it was reaped.
  void childEnded(ChildExit exit);
  std::shared_ptr<ChildProcess> child() const;
  // Ends the child's tree; the child itself only while it is given.
  void endTree(const std::shared_ptr<ChildProcess>& child) const;
  // Blocks until childEnded has ended what the child left behind.
  void waitUntilTreeEnded() const;
  // Keeps recordedTree_ up to date while the child runs, on a thread of its own.
  void recordTreeWhileRunning(const std::shared_ptr<ChildProcess>& child);

  const std::string python_;
  const std::shared_ptr<const HeldPort> heldPort_;
  const std::string secret_;
  uint16_t port_ = 0;
  Url url_;
  std::string logPath_;
  std::vector<std::string> arguments_;    // argv[0] included
  std::vector<std::string> environment_;  // "NAME=value" entries
  std::string treeMarker_;                // one of environment_, unique to this Backend

  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;  // guards what follows; never held while calling out
  UniqueFd log_;              // the child's standard output and error
  std::shared_ptr<ChildProcess> child_;
  OnExit onExit_;
  bool exitHandled_ = false;                   // the child ended and its end was dealt with
  mutable std::condition_variable treeEnded_;  // exitHandled_ became true
  // Who ends what an ended child left behind: its watcher, or stop() when it
  // came first. Claimed once, so the tree is never searched again afterwards.
  std::atomic<bool> leftoversClaimed_{false};
  // The child's descendants as last seen while it ran: after it ended they
  // may have nothing else left that ties them to it.
  std::vector<HeldProcess> recordedTree_;
};

}  // namespace lumivant
