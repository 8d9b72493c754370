#pragma once

#include <sys/types.h>
#include <webkit2/webkit2.h>

#include <optional>
#include <string>

#include "base/UniqueFd.h"

namespace lumivant::gtk {

// The engine's bubblewrap sandbox around the web process: a mount namespace
// of its own that sees the system's libraries and the few paths the engine
// adds, not the user's files. WebKitGTK cannot fall back by itself: when it
// cannot start bwrap or its D-Bus proxy it aborts the whole shell at the
// first web process, so whether the sandbox can start is found out first,
// before the context makes one.

// Whether the sandbox can start on this machine: bwrap run once, the way the
// engine will run it, around a program that does nothing. It takes a few
// milliseconds, so it is started as early as the launch allows and runs
// beside the toolkit's start; its answer is taken when the context is made.
class WebContentSandboxCheck {
 public:
  // Starts bwrap, or notes why it cannot be started.
  WebContentSandboxCheck();
  ~WebContentSandboxCheck();
  WebContentSandboxCheck(const WebContentSandboxCheck&) = delete;
  WebContentSandboxCheck& operator=(const WebContentSandboxCheck&) = delete;

  // Why the sandbox cannot start, or nothing when it can: bwrap or
  // xdg-dbus-proxy is missing, or bwrap cannot make its namespaces (no user
  // namespaces for this user, a container that forbids them). Waits for bwrap
  // the first time; the same answer after.
  const std::optional<std::string>& whyNot();

 private:
  void finish();

  pid_t bwrap_ = -1;
  UniqueFd errors_;
  bool finished_ = false;
  std::optional<std::string> whyNot_;
};

// Turns the sandbox on for the context, before it has started any web process,
// with the directory of the shell's web-process modules readable inside (none
// when empty). Where the check says the sandbox cannot start, says so in one
// line on standard error and leaves the web process unconfined, rather than
// leave the window without a page.
void sandboxWebContent(WebKitWebContext* context, const std::string& webProcessModules,
                       WebContentSandboxCheck& check);

}  // namespace lumivant::gtk
