#pragma once

#include <functional>

#include "host/MainMenu.h"

namespace lumivant {

// What the toolkit's application object tells the application. The host calls
// these on the main thread, in this order: the launch once, then termination
// once at most, which a question to the delegate may precede.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
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
};

}  // namespace lumivant
