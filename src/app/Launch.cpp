#include "app/Launch.h"

#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "selfupdate/ShellProbation.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"

namespace lumivant {

namespace {

// Set for the executable a launch starts in its own place, so that the
// executable, should its file still not look like its image, does not do so
// again.
constexpr const char* kStartedInPlaceVariable = "LUMIVANT_STARTED_IN_PLACE";

constexpr const char* kNoDisplayText =
    "lumivant：打不开显示，窗口无处可显示。\n"
    "请在图形桌面中启动，或设置 DISPLAY 或 WAYLAND_DISPLAY。\n";

LaunchOutcome exitWith(int status, std::string output = {}, std::string diagnostics = {}) {
  return LaunchOutcome{LaunchOutcome::Action::exit, std::move(output), status,
                       std::move(diagnostics)};
}

}  // namespace

Launch::Launch(Host& host, std::optional<std::string> executable, ShellProbation& probation,
               std::string applicationId)
    : host_(host),
      executable_(std::move(executable)),
      probation_(probation),
      applicationId_(std::move(applicationId)) {}

LaunchOutcome Launch::run(const std::vector<std::string>& arguments) {
  arguments_ = arguments;
  Next next = Stage::readRequest;
  while (const Stage* stage = std::get_if<Stage>(&next)) next = advance(*stage);
  return std::get<LaunchOutcome>(next);
}

Launch::Next Launch::advance(Stage stage) {
  switch (stage) {
    case Stage::readRequest:
      return readRequest();
    case Stage::judgeSwappedShell:
      return judgeSwappedShell();
    case Stage::startExecutable:
      return startExecutable();
    case Stage::claimDataRoot:
      return claimDataRoot();
    case Stage::handOver:
      return handOver();
    case Stage::recordLaunch:
      // Before the display opens: a shell on probation that hangs or crashes
      // while it opens the display is caught by the next launch.
      probation_.beginLaunch();
      return Stage::openDisplay;
    case Stage::openDisplay:
      if (!host_.openDisplay()) {
        // No display to show on (a launch from a remote shell without one,
        // say) says nothing about the shell: the launch is taken back, and
        // counts neither for nor against a shell on probation.
        probation_.launchWithdrawn();
        return exitWith(1, {}, kNoDisplayText);
      }
      return Stage::awaitReplacedShell;
    case Stage::awaitReplacedShell:
      // Only once the display is open: an X server whose last client goes
      // resets itself, and would turn this one away for a moment. A shell
      // relaunched by a swap cannot wait here: the shell it replaces goes only
      // once this one's window shows.
      if (!startConfirmation_) host_.awaitReplacedInstance();
      return Stage::ready;
    case Stage::ready:
      return LaunchOutcome{LaunchOutcome::Action::run, {}, 0, {}};
  }
  // Not reached: the switch names every stage.
  return exitWith(1);
}

Launch::Next Launch::readRequest() {
  // Questions about the shell are answered before anything else, and without
  // a display: a swap tries a staged shell with the version question before
  // it installs it, when the dynamic loader has loaded every library the
  // shell links and nothing else has happened.
  const CommandLineRequest request = readCommandLine(arguments_);
  switch (request.answer) {
    case CommandLineAnswer::version:
    case CommandLineAnswer::printVersion:
      return exitWith(0, versionLine(LUMIVANT_VERSION));
    case CommandLineAnswer::help:
      return exitWith(0, helpText());
    case CommandLineAnswer::usageError:
      return exitWith(kUsageErrorStatus, {}, usageErrorText(request.offending));
    case CommandLineAnswer::none:
      break;
  }
  replacesRunningShell_ = request.replacesRunningShell;
  // Taken before anything could start a child, which must not inherit it.
  startConfirmation_ = StartConfirmation::takeFromEnvironment();
  ranInstead_ = std::getenv(kStartedInPlaceVariable) != nullptr;
  ::unsetenv(kStartedInPlaceVariable);
  return Stage::judgeSwappedShell;
}

Launch::Next Launch::judgeSwappedShell() {
  // Before the data root is claimed: a launch of a shell on probation that
  // hangs may hold the claim, and is ended here rather than asked to come to
  // the front.
  if (probation_.judgeLaunch(ranInstead_) == ShellProbation::Verdict::runExecutableInstead &&
      executable_)
    return Stage::startExecutable;
  return Stage::claimDataRoot;
}

Launch::Next Launch::startExecutable() {
  ::setenv(kStartedInPlaceVariable, "1", 1);
  const std::string reason = host_.executeInstead(*executable_);
  ::unsetenv(kStartedInPlaceVariable);
  // This process goes on in its place; the next launch runs the executable.
  std::fprintf(stderr, "lumivant: starting %s: %s\n", executable_->c_str(), reason.c_str());
  return Stage::claimDataRoot;
}

Launch::Next Launch::claimDataRoot() {
  // Before anything is written, built or started.
  const InstanceTakeover takeover =
      replacesRunningShell_ ? InstanceTakeover::replaceRunning : InstanceTakeover::no;
  if (!host_.claimInstance(applicationId_, takeover)) return Stage::handOver;
  return Stage::recordLaunch;
}

Launch::Next Launch::handOver() {
  if (host_.activateRunningInstance()) return exitWith(0);
  return LaunchOutcome{LaunchOutcome::Action::reportUnresponsiveInstance, {}, 1, {}};
}

}  // namespace lumivant
