#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

namespace lumivant::gtk {

// The engine's bubblewrap sandbox around the web process: a mount namespace
// of its own that sees the system's libraries and the few paths the engine
// adds, not the user's files. WebKitGTK cannot fall back by itself: when it
// cannot start bwrap or its D-Bus proxy it aborts the whole shell at the
// first web process, so whether the sandbox can start is found out here,
// before the context makes one.

// Why the sandbox cannot start on this machine, or nothing when it can: bwrap
// or xdg-dbus-proxy is missing, or bwrap cannot make its namespaces (no user
// namespaces for this user, a container that forbids them). Runs bwrap once,
// the way the engine will, which takes a few milliseconds.
std::optional<std::string> whyWebContentCannotBeSandboxed();

// Turns the sandbox on for the context, before it has started any web process,
// with the directory of the shell's web-process modules readable inside (none
// when empty). Where the sandbox cannot start, says so in one line on standard
// error and leaves the web process unconfined, rather than leave the window
// without a page.
void sandboxWebContent(WebKitWebContext* context, const std::string& webProcessModules);

}  // namespace lumivant::gtk
