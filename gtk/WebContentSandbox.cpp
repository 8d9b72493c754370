#include "WebContentSandbox.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace lumivant::gtk {

namespace {

// Where WebKitGTK looks for them: fixed paths, not the search path.
constexpr const char* kBubblewrap = "/usr/bin/bwrap";
constexpr const char* kDBusProxy = "/usr/bin/xdg-dbus-proxy";

// bwrap's own words on why it failed, first line only; it writes
// "bwrap: " and the reason.
std::string firstLineOf(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "bwrap failed" : line;
}

std::string readToEnd(int fd) {
  std::string text;
  std::array<char, 512> buffer{};
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count > 0) {
      text.append(buffer.data(), static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      return text;
    }
  }
}

}  // namespace

WebContentSandboxCheck::WebContentSandboxCheck() {
  if (::access(kBubblewrap, X_OK) != 0) {
    whyNot_ = std::string(kBubblewrap) + " is missing";
  } else if (::access(kDBusProxy, X_OK) != 0) {
    whyNot_ = std::string(kDBusProxy) + " is missing";
  } else {
    // The namespaces the engine asks for, around a program that does nothing.
    const char* argv[] = {kBubblewrap,         "--ro-bind", "/",    "/",    "--unshare-all",
                          "--die-with-parent", "--",        "true", nullptr};
    int errors = -1;
    g_autoptr(GError) error = nullptr;
    if (g_spawn_async_with_pipes(
            nullptr, const_cast<char**>(argv), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL),
            nullptr, nullptr, &bwrap_, nullptr, nullptr, &errors, &error)) {
      errors_ = UniqueFd(errors);
      return;
    }
    whyNot_ = std::string(kBubblewrap) + ": " + error->message;
  }
  finished_ = true;
}

WebContentSandboxCheck::~WebContentSandboxCheck() { finish(); }

const std::optional<std::string>& WebContentSandboxCheck::whyNot() {
  finish();
  return whyNot_;
}

void WebContentSandboxCheck::finish() {
  if (finished_) return;
  finished_ = true;
  // bwrap's standard error closes as it ends; its words are read before the
  // wait, so that it never blocks on a full pipe.
  const std::string errors = readToEnd(errors_.get());
  errors_.reset();
  int status = 0;
  while (::waitpid(bwrap_, &status, 0) < 0) {
    if (errno != EINTR) {
      whyNot_ = std::string(kBubblewrap) + ": its end was not seen";
      return;
    }
  }
  if (!g_spawn_check_wait_status(status, nullptr)) whyNot_ = firstLineOf(errors);
}

void sandboxWebContent(WebKitWebContext* context, const std::string& webProcessModules,
                       WebContentSandboxCheck& check) {
  if (const std::optional<std::string>& reason = check.whyNot()) {
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
