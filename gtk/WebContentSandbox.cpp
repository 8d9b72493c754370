#include "WebContentSandbox.h"

#include <unistd.h>

#include <cstdio>

namespace lumivant::gtk {

namespace {

// Where WebKitGTK looks for them: fixed paths, not the search path.
constexpr const char* kBubblewrap = "/usr/bin/bwrap";
constexpr const char* kDBusProxy = "/usr/bin/xdg-dbus-proxy";

// bwrap's own words on why it failed, first line only; it writes
// "bwrap: " and the reason.
std::string firstLineOf(const char* text) {
  std::string line = text ? text : "";
  line = line.substr(0, line.find('\n'));
  return line.empty() ? "bwrap failed" : line;
}

}  // namespace

std::optional<std::string> whyWebContentCannotBeSandboxed() {
  if (::access(kBubblewrap, X_OK) != 0) return std::string(kBubblewrap) + " is missing";
  if (::access(kDBusProxy, X_OK) != 0) return std::string(kDBusProxy) + " is missing";
  // The namespaces the engine asks for, around a program that does nothing.
  const char* argv[] = {kBubblewrap,         "--ro-bind", "/",    "/",    "--unshare-all",
                        "--die-with-parent", "--",        "true", nullptr};
  g_autofree char* errors = nullptr;
  gint status = 0;
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr,
                    nullptr, nullptr, &errors, &status, &error)) {
    return std::string(kBubblewrap) + ": " + error->message;
  }
  if (!g_spawn_check_wait_status(status, nullptr)) return firstLineOf(errors);
  return std::nullopt;
}

void sandboxWebContent(WebKitWebContext* context, const std::string& webProcessModules) {
  if (const std::optional<std::string> reason = whyWebContentCannotBeSandboxed()) {
    std::fprintf(stderr, "lumivant: web pages run without the engine's sandbox: %s\n",
                 reason->c_str());
    return;
  }
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  if (!webProcessModules.empty() && ::access(webProcessModules.c_str(), R_OK) == 0) {
    webkit_web_context_add_path_to_sandbox(context, webProcessModules.c_str(), TRUE);
  }
}

}  // namespace lumivant::gtk
