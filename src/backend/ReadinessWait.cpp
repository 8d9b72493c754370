// The readiness wait and the log tail: what the start-up flow learns about a
// backend that was just launched.

#include <algorithm>
#include <chrono>
#include <semaphore>
#include <system_error>
#include <thread>

#include "backend/Backend.h"
#include "backend/BackendSecret.h"
#include "backend/LogTail.h"
#include "backend/ReadinessProbe.h"
#include "base/ChildProcess.h"

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kProbeRequestTimeoutSeconds = 3.0;
constexpr auto kProbeAnswerWait = std::chrono::seconds(5);
constexpr auto kPauseBetweenAttempts = std::chrono::milliseconds(300);
// How soon a probe under way sees that the child ended.
constexpr auto kChildEndCheckInterval = std::chrono::milliseconds(20);
// Far enough for any caller; keeps the conversion to the clock's ticks finite.
constexpr double kLongestTimeoutSeconds = 365.0 * 24 * 3600;

// One probe, asked on a thread of its own and answered through a semaphore.
// Both sides hold the attempt, so an answer that comes after the waiting side
// gave up lands in an attempt nobody reads any more.
// The result is written before the release and read only after an acquire.
struct ProbeAttempt {
  std::binary_semaphore answered{0};
  ProbeResult result;
};

// The probe gives up early when the child ends: on a socket the shell holds,
// a connection is accepted by the kernel whether or not a backend runs, and
// would otherwise wait out its time-out after the backend has gone.
ProbeResult probeOnce(const std::string& probeUrl, const std::string& cookie,
                      const ChildProcess& child) {
  auto attempt = std::make_shared<ProbeAttempt>();
  try {
    std::thread([attempt, probeUrl, cookie] {
      attempt->result = probeReadiness(probeUrl, kProbeRequestTimeoutSeconds, cookie);
      attempt->answered.release();
    }).detach();
  } catch (const std::system_error& error) {
    // No thread to probe with: this attempt fails like any other.
    return ProbeResult{std::nullopt, error.what()};
  }
  const Clock::time_point giveUp = Clock::now() + kProbeAnswerWait;
  while (!attempt->answered.try_acquire_for(kChildEndCheckInterval)) {
    if (!child.isRunning()) return ProbeResult{std::nullopt, "后端已经退出"};
    if (Clock::now() >= giveUp) return ProbeResult{std::nullopt, "没有回应"};
  }
  return attempt->result;
}

Clock::time_point deadlineAfter(double timeoutSeconds) {
  const Clock::time_point now = Clock::now();
  if (!(timeoutSeconds > 0)) return now;  // zero, negative or not a number
  const double bounded = std::min(timeoutSeconds, kLongestTimeoutSeconds);
  return now + std::chrono::duration_cast<Clock::duration>(Seconds(bounded));
}

// The child's termination status as the wait reports it: the exit status, or
// the number of the signal that killed it. A child never launched has none.
int32_t terminationStatus(const ChildProcess* child) {
  if (!child) return -1;
  const std::optional<ChildExit> exit = child->exit();
  return exit ? exit->status : -1;
}

}  // namespace

std::optional<ShellError> Backend::waitUntilReady(double timeoutSeconds) {
  // A monotonic clock: setting the system clock neither shortens nor prolongs
  // the wait.
  const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
  const std::string probeUrl = url_.absoluteString() + "health/ready";
  const std::shared_ptr<ChildProcess> launched = child();
  // The secret goes only where nobody but the backend can answer: on the held
  // socket. On a port the backend binds itself, another program may answer
  // first and would be handed the secret of the whole run.
  const std::string cookie = heldPort_ ? backendSecretCookieHeader(secret_) : std::string();

  std::optional<LastProbe> lastProbe;
  while (Clock::now() < deadline) {
    if (!launched || !launched->isRunning()) {
      // What the child left running ends before its end is reported.
      if (launched) waitUntilTreeEnded();
      return ShellError::backendExited(terminationStatus(launched.get()), tailOfLog());
    }
    const ProbeResult probe = probeOnce(probeUrl, cookie, *launched);
    if (probe.ready()) {
      // An answer proves nothing about who gave it: another program may have
      // bound the port between its choice and the backend's own bind.
      switch (portHolder()) {
        case PortHolder::backend:
          return std::nullopt;
        case PortHolder::other:
          return ShellError::portTaken(port_, tailOfLog());
        case PortHolder::nobody:
          break;  // gone since it answered: not ready after all
      }
    }
    lastProbe = LastProbe{probeUrl, describeProbeAnswer(probe)};
    // The pause ends early when the child does, which the next attempt reports.
    launched->waitForEnd(Clock::now() + kPauseBetweenAttempts);
  }
  return ShellError::neverBecameReady(tailOfLog(), std::move(lastProbe));
}

std::string Backend::tailOfLog() const { return tailOfLogFile(logPath_); }

}  // namespace lumivant
