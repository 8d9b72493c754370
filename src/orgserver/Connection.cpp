// The organisation server connection: one readiness probe of the server named
// in server.json, then its page or a message page that says why not.

#include "orgserver/Connection.h"

#include <algorithm>
#include <thread>

#include "app/AppDelegate.h"
#include "app/DataRoot.h"
#include "backend/ReadinessProbe.h"

namespace lumivant {

namespace {

constexpr std::string_view kReadinessPath = "health/ready";
constexpr std::string_view kNoReadyAnswer = "它没有回应 /health/ready";

// On the main thread, once the probe has answered.
void serverAnswered(AppDelegate& delegate, const Url& server, const ProbeResult& result) {
  if (result.ready()) {
    delegate.origin = server;
    delegate.loadFirstPage(server.absoluteString());
    return;
  }
  const std::string reason =
      result.transportError.empty() ? std::string(kNoReadyAnswer) : result.transportError;
  delegate.showMessage(connectionFailureText(server, reason, dataRoot()));
}

}  // namespace

// The path ends at the query or the fragment, whichever comes first; both stay
// after the appended component, as a path-component append leaves them.
std::string probeUrlFor(const Url& base) {
  const std::string& text = base.absoluteString();
  const size_t pathEnd = std::min(text.find_first_of("?#"), text.size());
  std::string probe = text.substr(0, pathEnd);
  // An empty path is the root, so it too gets the one slash.
  if (probe.empty() || probe.back() != '/') probe += '/';
  probe += kReadinessPath;
  probe += text.substr(pathEnd);
  return probe;
}

std::string connectionFailureText(const Url& base, const std::string& reason,
                                  const std::string& dataRoot) {
  return "连不上组织服务器 " + base.displayString() + "\n\n" + reason + "\n\n" +
         "它可能没在跑，或者这台机器不在那个网里。\n" + "想先用本机：删掉 " + dataRoot +
         "/server.json 再打开。";
}

// Exactly one probe, on a worker of its own because it blocks for up to the
// time-out; the answer comes back through the main queue.
void AppDelegate::connectTo(const Url& server) {
  std::thread([weak = weak_from_this(), &queue = mainQueue_, server] {
    const ProbeResult result = probeReadiness(probeUrlFor(server), kServerProbeTimeoutSeconds);
    queue.post([weak, server, result] {
      if (auto self = weak.lock()) serverAnswered(*self, server, result);
    });
  }).detach();
}

}  // namespace lumivant
