#pragma once

namespace lumivant {

// What the toolkit's application object tells the application. The host calls
// these on the main thread, in this order: the launch once, then termination
// once at most.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  // Whether closing the main window quits the application.
  virtual bool applicationShouldTerminateAfterLastWindowClosed() const = 0;
  virtual void applicationWillTerminate() = 0;
};

}  // namespace lumivant
