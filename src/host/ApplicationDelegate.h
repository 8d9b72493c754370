#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/MainMenu.h"

namespace lumivant {

// What the host does with the process once the launch has run.
struct LaunchOutcome {
  enum class Action {
    // Writes output to standard output and diagnostics to standard error,
    // then exits with status, or with 1 when the output cannot be written.
    exit,
    // Tells the user that the shell already running for this data root does
    // not answer, then exits with status.
    reportUnresponsiveInstance,
    // Runs the event loop until the application terminates, then exits 0.
    run,
  };
  Action action = Action::run;
  std::string output;
  int status = 0;
  std::string diagnostics;
};

// What the toolkit's application object tells the application. The host calls
// these on the main thread, in this order: the launch once, then termination
// once at most, which a question to the delegate may precede.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // The whole launch, given the process's arguments (the program's name
  // first): up to the window and the backend's start when the outcome is run.
  virtual LaunchOutcome launch(const std::vector<std::string>& arguments) = 0;
  // Whether closing the main window quits the application.
  virtual bool applicationShouldTerminateAfterLastWindowClosed() const = 0;
  // The user asked to quit (the menu, its key, closing the window); reply,
  // now or later and exactly once, says whether to go ahead. A termination
  // request from the system does not ask.
  // NOLINTNEXTLINE(performance-unnecessary-value-param): a delegate keeps the reply for later.
  virtual void applicationShouldTerminate(std::function<void(bool quit)> reply) { reply(true); }
  virtual void applicationWillTerminate() = 0;
  // A menu item, or its key or mouse button, for an action that is neither
  // editing nor quitting.
  virtual void performMenuAction(MenuAction action) { (void)action; }
  // A shell launched later for this data root has taken this one's place.
  virtual void applicationWasReplaced() {}
};

}  // namespace lumivant
