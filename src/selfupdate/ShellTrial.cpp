#include "selfupdate/ShellTrial.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "base/ChildProcess.h"
#include "base/UniqueFd.h"
#include "selfupdate/ShellSwapLog.h"

extern char** environ;

namespace lumivant {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kVersionLinePrefix = "Lumivant ";
constexpr size_t kLongestVersion = 64;
// More output than any version line; a program that prints more is not a shell.
constexpr size_t kOutputKept = 4096;
// How much of a failed trial's output the description quotes.
constexpr size_t kOutputQuoted = 300;

// This process's environment for the trial: every symbol bound when the
// program loads, so that a missing one fails the trial rather than a later
// call, and no display to open, so that a build that does not know the
// argument cannot show a window.
std::vector<std::string> trialEnvironment() {
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string_view variable(*entry);
    if (variable.starts_with("DISPLAY=") || variable.starts_with("WAYLAND_DISPLAY=") ||
        variable.starts_with("LD_BIND_NOW="))
      continue;
    environment.emplace_back(variable);
  }
  environment.emplace_back("LD_BIND_NOW=1");
  return environment;
}

// Reads from fd until its end, kOutputKept bytes, or the deadline; false at the deadline.
bool readOutput(int fd, Clock::time_point deadline, std::string& output) {
  char buffer[1024];
  while (output.size() < kOutputKept) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd readable{fd, POLLIN, 0};
    const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ready == 0 ? false : true;
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return true;
    output.append(buffer, static_cast<size_t>(count));
  }
  return true;
}

// The start of output, cut at a character boundary, with control characters escaped.
std::string quote(std::string_view output) {
  size_t length = std::min(output.size(), kOutputQuoted);
  while (length > 0 && length < output.size() &&
         (static_cast<unsigned char>(output[length]) & 0xC0) == 0x80)
    --length;
  std::string quoted = "\"" + escapeControlCharacters(output.substr(0, length)) + "\"";
  if (length < output.size()) quoted += " …";
  return quoted;
}

std::string describeEnd(const ChildExit& exit, std::string_view output) {
  std::string what;
  if (exit.reason == ChildExit::Reason::uncaughtSignal) {
    what = "it was killed by signal " + std::to_string(exit.status) + " (" +
           ::strsignal(exit.status) + ")";
  } else {
    what = "it exited with status " + std::to_string(exit.status);
  }
  if (output.empty()) return what + " and printed nothing";
  if (exit.reason == ChildExit::Reason::exit && exit.status == 0)
    return what + " but printed " + quote(output) + " instead of its version";
  return what + " and printed " + quote(output);
}

}  // namespace

std::string describeDuration(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
  return std::to_string(duration.count()) + " ms";
}

std::string versionLine(std::string_view version) {
  return std::string(kVersionLinePrefix) + std::string(version) + "\n";
}

bool isVersionLine(std::string_view output) {
  if (!output.starts_with(kVersionLinePrefix) || !output.ends_with('\n')) return false;
  const std::string_view version =
      output.substr(kVersionLinePrefix.size(), output.size() - kVersionLinePrefix.size() - 1);
  if (version.empty() || version.size() > kLongestVersion) return false;
  for (const char c : version) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::optional<std::string> shellTrialProblem(const std::string& program,
                                             std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    return "it could not be tried: " + std::error_code(errno, std::generic_category()).message();
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);

  std::shared_ptr<ChildProcess> child;
  try {
    child = ChildProcess::spawn(
        ChildLaunch{program, {program, kPrintVersionArgument}, trialEnvironment(), writeEnd.get()},
        {});
  } catch (const std::system_error& error) {
    return "it cannot be executed: " + error.code().message();
  }
  writeEnd.reset();

  std::string output;
  const bool outputEnded = readOutput(readEnd.get(), deadline, output);
  if (!outputEnded || !child->waitForEnd(deadline)) {
    child->sendSignal(SIGKILL);
    child->waitForEnd(Clock::now() + std::chrono::seconds(5));
    return "it did not finish within " + describeDuration(limit);
  }
  const ChildExit exit = *child->exit();
  if (exit.reason == ChildExit::Reason::exit && exit.status == 0 && isVersionLine(output))
    return {};
  return describeEnd(exit, output);
}

}  // namespace lumivant
