#include "backend/Backend.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "backend/BackendSecret.h"
#include "backend/FreePort.h"
#include "backend/HeldPort.h"
#include "backend/PlatformError.h"
#include "base/ChildProcess.h"

extern char** environ;

namespace lumivant {

namespace {

constexpr auto kTerminationGrace = std::chrono::milliseconds(2000);
// How often the tree is recorded while the backend runs. Only a descendant
// that is born, leaves the backend's session and environment behind, and is
// orphaned within this time before the backend's own end can escape.
constexpr auto kTreeRecordInterval = std::chrono::milliseconds(100);

// An environment entry that only this Backend's child and its descendants
// carry: it finds them again after they left the child's process group or
// session and their parent ended.
std::string uniqueTreeMarker() {
  static std::atomic<unsigned> counter{0};
  return "LUMIVANT_BACKEND_TREE=" + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

// The shell's own environment as it is now, with the two variables the
// backend relies on set to "1" whatever they were, the secret it answers to,
// and the shell's process id, so that a backend that looks for its parent only
// after the shell has gone can tell (its parent is then another process) and
// need not watch a stranger.
std::vector<std::string> childEnvironment(const std::string& secret) {
  const std::vector<std::string> forced = {"PYTHONUNBUFFERED=1", "PYTHONDONTWRITEBYTECODE=1",
                                           "LUMIVANT_SHELL_PID=" + std::to_string(::getpid()),
                                           std::string(kBackendSecretVariable) + "=" + secret};
  auto isForced = [&](const std::string& entry) {
    for (const std::string& assignment : forced) {
      const size_t nameLength = assignment.find('=') + 1;  // "NAME="
      if (entry.compare(0, nameLength, assignment, 0, nameLength) == 0) return true;
    }
    return false;
  };
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (!isForced(*entry)) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), forced.begin(), forced.end());
  return environment;
}

UniqueFd openLogForAppending(const std::string& logDirectory, const std::string& logPath) {
  std::error_code error;
  std::filesystem::create_directories(logDirectory, error);
  if (error) throw PlatformError::fromErrno("无法创建日志目录 " + logDirectory, error.value());
  // Appending, never truncating: every run's output follows the last one's.
  // Close-on-exec: only the backend gets it, as its standard output and error.
  // Non-blocking so that a FIFO nobody reads fails here rather than holding
  // the start; the backend's own writes block as usual.
  UniqueFd log(::open(logPath.c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644));
  if (!log) throw PlatformError::fromErrno("无法打开日志文件 " + logPath, errno);
  ::fcntl(log.get(), F_SETFL, ::fcntl(log.get(), F_GETFL) & ~O_NONBLOCK);
  return log;
}

}  // namespace

Backend::Backend(std::string python, const std::string& logDirectory, BackendSetup setup)
    : python_(std::move(python)),
      heldPort_(std::move(setup.heldPort)),
      secret_(setup.secret.empty() ? makeBackendSecret() : std::move(setup.secret)) {
  const std::optional<uint16_t> port =
      heldPort_ ? heldPort_->port() : chooseBackendPort(setup.keptPort);
  if (!port) throw ShellError::noPort();
  port_ = *port;
  url_ = *Url::parse("http://127.0.0.1:" + std::to_string(port_) + "/");

  logPath_ = (std::filesystem::path(logDirectory) / "backend.log").string();
  log_ = openLogForAppending(logDirectory, logPath_);

  arguments_ = {python_,
                "-B",
                "-m",
                "app.launcher",
                "start",
                "--port",
                std::to_string(port_),
                "--no-browser",
                "--exit-with-parent"};
  environment_ = childEnvironment(secret_);
  treeMarker_ = uniqueTreeMarker();
  environment_.push_back(treeMarker_);
}

// The child is not stopped here: it was told to exit with its parent, and an
// owner that wants it gone calls stop().
Backend::~Backend() = default;

void Backend::start() {
  // Held weakly: a Backend that is gone by the time its child ends hears nothing.
  auto onEnd = [weak = weak_from_this()](ChildExit exit) {
    if (auto self = weak.lock()) self->childEnded(exit);
  };
  // Descendants that detach are re-parented to the shell, where stop() finds them.
  adoptOrphanedDescendants();
  // The lock keeps a concurrent stop() from missing a child launched just now.
  std::lock_guard lock(mutex_);
  if (child_ || stopping_) return;  // one child per Backend
  try {
    std::optional<HandedSocket> socket;
    if (heldPort_) socket = HandedSocket{heldPort_->descriptor(), "http"};
    child_ = ChildProcess::spawn({python_, arguments_, environment_, log_.get()}, std::move(onEnd),
                                 socket);
  } catch (const std::system_error& error) {
    throw PlatformError::fromErrno("无法启动后端 " + python_, error.code().value());
  }
  recordTreeWhileRunning(child_);
}

void Backend::recordTreeWhileRunning(const std::shared_ptr<ChildProcess>& child) {
  // The child reaps its own orphans, so while it runs its descendants are all
  // below it, whatever session or environment they took: each look finds all.
  // Only the last look may come too late, after the child's end has handed
  // them to the shell, and so finds none: the record keeps those it holds.
  std::thread([weak = weak_from_this(), child] {
    while (!child->waitForEnd(std::chrono::steady_clock::now() + kTreeRecordInterval)) {
      std::vector<HeldProcess> seen;
      if (!child->whileUnreaped([&] { seen = descendantsOf(child->pid()); })) return;
      const auto self = weak.lock();
      if (!self) return;
      std::lock_guard lock(self->mutex_);
      self->recordedTree_ = updatedRecord(self->recordedTree_, std::move(seen));
    }
  }).detach();
}

std::vector<HeldProcess> Backend::recordedTree() const {
  std::lock_guard lock(mutex_);
  return recordedTree_;
}

PortHolder Backend::portHolder() const {
  if (heldPort_) return PortHolder::backend;
  std::vector<pid_t> tree;
  if (const std::shared_ptr<ChildProcess> launched = child()) {
    launched->whileUnreaped([&] {
      tree.push_back(launched->pid());
      for (const HeldProcess& member : descendantsOf(launched->pid()))
        tree.push_back(member.key.pid);
    });
  }
  return holderOfLoopbackPort(listeningSockets(), port_, ::geteuid(), socketInodesOf(tree));
}

void Backend::childEnded(ChildExit exit) {
  // What the child left running goes before anybody hears of the end, so that
  // a restarted backend finds the port and the log free. A stop() under way
  // does the same by itself.
  if (!stopping_ && !leftoversClaimed_.exchange(true)) endTree(nullptr);
  OnExit onExit;
  {
    std::lock_guard lock(mutex_);
    exitHandled_ = true;
    onExit = std::move(onExit_);
    onExit_ = nullptr;
  }
  treeEnded_.notify_all();
  if (stopping_ || !onExit) return;
  onExit(exit);
}

void Backend::endTree(const std::shared_ptr<ChildProcess>& child) const {
  const std::shared_ptr<ChildProcess> launched = this->child();
  if (!launched) return;
  const std::vector<HeldProcess> recorded = recordedTree();
  endProcessTree(
      launched->pid(), treeMarker_, kTerminationGrace,
      [&child](int signal) {
        if (child) child->sendSignal(signal);
      },
      [&launched] { return launched->isRunning() ? RootState::unreaped : RootState::reaped; },
      recorded);
}

void Backend::waitUntilTreeEnded() const {
  std::unique_lock lock(mutex_);
  treeEnded_.wait(lock, [this] { return exitHandled_; });
}

bool Backend::hasEnded() const {
  std::lock_guard lock(mutex_);
  return exitHandled_ || (!child_ && stopping_);
}

void Backend::setOnExit(std::function<void(ChildExit exit)> onExit) {
  {
    std::lock_guard lock(mutex_);
    // A child already seen to have ended (by the wait, say) is reported to
    // nobody, even if its watcher has not got round to it yet.
    const bool ended = exitHandled_ || (child_ && !child_->isRunning());
    if (!ended && !stopping_) {
      onExit_ = std::move(onExit);
      return;
    }
  }
  // Nobody would ever call it, and it may hold this Backend: it goes now, when
  // the parameter does, outside the lock.
}

void Backend::stop() {
  // The callback released below may hold the last other reference.
  const std::shared_ptr<Backend> keepAlive = weak_from_this().lock();
  stopping_ = true;

  std::shared_ptr<ChildProcess> child;
  OnExit dropped;
  {
    std::lock_guard lock(mutex_);
    dropped = std::move(onExit_);
    onExit_ = nullptr;
    child = child_;
  }
  dropped = nullptr;
  if (!child) return;
  if (!child->isRunning()) {
    // Ended by itself: what it left behind may still run, unless its watcher
    // has ended that already (or is doing so). The log stays open.
    if (!leftoversClaimed_.exchange(true)) {
      endTree(nullptr);
    } else {
      waitUntilTreeEnded();
    }
    return;
  }

  // The child and its descendants get SIGTERM together and SIGKILL together.
  endTree(child);
  // Killed by now: its watcher reaps it at once, and then hears of the end a
  // moment later (unless this Backend is on its way out and the watcher can
  // no longer reach it); a stopped backend counts as ended only once it has.
  if (child->waitForEnd(std::chrono::steady_clock::now() + kTerminationGrace) && keepAlive)
    waitUntilTreeEnded();
  std::lock_guard lock(mutex_);
  log_.reset();
}

std::shared_ptr<ChildProcess> Backend::child() const {
  std::lock_guard lock(mutex_);
  return child_;
}

}  // namespace lumivant
