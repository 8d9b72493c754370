#include "app/Launch.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"
#include "selfupdate/UnconfirmedShell.h"

namespace lumivant {

namespace {

LaunchOutcome exitWith(int status, std::string output = {}, std::string diagnostics = {}) {
  return LaunchOutcome{LaunchOutcome::Action::exit, std::move(output), status,
                       std::move(diagnostics)};
}

}  // namespace

Launch::Launch(Host& host, std::optional<std::string> executable, std::string applicationId)
    : host_(host), executable_(std::move(executable)), applicationId_(std::move(applicationId)) {}

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
    case Stage::claimDataRoot:
      return claimDataRoot();
    case Stage::handOver:
      return handOver();
    case Stage::judgeUnconfirmedShell:
      return judgeUnconfirmedShell();
    case Stage::startPreviousShell:
      return startPreviousShell();
    case Stage::openDisplay:
      host_.openDisplay();
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
  return Stage::claimDataRoot;
}

Launch::Next Launch::claimDataRoot() {
  // Before anything is written, built or started.
  const InstanceTakeover takeover =
      replacesRunningShell_ ? InstanceTakeover::replaceRunning : InstanceTakeover::no;
  if (!host_.claimInstance(applicationId_, takeover)) return Stage::handOver;
  return Stage::judgeUnconfirmedShell;
}

Launch::Next Launch::handOver() {
  if (host_.activateRunningInstance()) return exitWith(0);
  return LaunchOutcome{LaunchOutcome::Action::reportUnresponsiveInstance, {}, 1, {}};
}

Launch::Next Launch::judgeUnconfirmedShell() {
  // A relaunched shell is judged by the shell that relaunched it.
  if (startConfirmation_ || !executable_) return Stage::openDisplay;
  return checkUnconfirmedShell(*executable_) == UnconfirmedShell::rolledBack
             ? Stage::startPreviousShell
             : Stage::openDisplay;
}

Launch::Next Launch::startPreviousShell() {
  const std::string reason = host_.executeInstead(*executable_);
  // This process goes on in its place; the next launch runs the previous shell.
  std::fprintf(stderr, "lumivant: starting the previous shell: %s\n", reason.c_str());
  return Stage::openDisplay;
}

}  // namespace lumivant
