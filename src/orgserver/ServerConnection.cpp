#include "orgserver/ServerConnection.h"

#include "backend/ReadinessProbe.h"
#include "orgserver/Connection.h"

namespace lumivant {

namespace {

constexpr std::string_view kNoReadyAnswer = "它没有回应 /health/ready";

}  // namespace

void ServerConnection::connectTo(const Url& server) {
  executor_([weak = weak_from_this(), &queue = mainQueue_, server] {
    const ProbeResult result = probeReadiness(probeUrlFor(server), kServerProbeTimeoutSeconds);
    queue.post([weak, server, result] {
      auto self = weak.lock();
      if (!self) return;
      if (result.ready()) {
        if (self->onReady) self->onReady(server.absoluteString());
        return;
      }
      const std::string reason =
          result.transportError.empty() ? std::string(kNoReadyAnswer) : result.transportError;
      if (self->onFailure) self->onFailure(connectionFailureText(server, reason, self->dataRoot_));
    });
  });
}

}  // namespace lumivant
