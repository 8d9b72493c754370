#include "orgserver/ServerConnection.h"

#include "backend/ReadinessProbe.h"
#include "orgserver/ProbeUrl.h"

namespace lumivant {

void ServerConnection::connectTo(const Url& server) {
  executor_([weak = weak_from_this(), &queue = mainQueue_, server] {
    const ProbeResult result = probeReadiness(probeUrlFor(server), kServerProbeTimeoutSeconds);
    queue.post([weak, server, result] {
      auto self = weak.lock();
      if (!self) return;
      if (result.ready()) {
        if (self->onReady) self->onReady(server);
        return;
      }
      // Without a transport error the server answered, only not with 200.
      std::optional<std::string> transportError;
      if (!result.transportError.empty()) transportError = result.transportError;
      if (self->onFailure)
        self->onFailure(ServerUnreachable{server, transportError, self->dataRoot_});
    });
  });
}

}  // namespace lumivant
