#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Url.h"
#include "host/Executor.h"
#include "host/MainQueue.h"
#include "pages/MessagePages.h"

namespace lumivant {

// The connection to the organisation server named in server.json: exactly one
// readiness probe, on the executor because it blocks for up to its time-out,
// and one report on the main queue. Lives in a shared_ptr so that the probe's
// answer can hold it weakly: an answer that arrives after it is gone does nothing.
class ServerConnection : public std::enable_shared_from_this<ServerConnection> {
 public:
  ServerConnection(MainQueue& mainQueue, Executor executor, std::string dataRoot)
      : mainQueue_(mainQueue), executor_(std::move(executor)), dataRoot_(std::move(dataRoot)) {}

  // The server answered ready: its address, to load as it is.
  std::function<void(const Url& url)> onReady;
  // It did not.
  std::function<void(const ServerUnreachable& page)> onFailure;

  void connectTo(const Url& server);

 private:
  MainQueue& mainQueue_;
  const Executor executor_;
  const std::string dataRoot_;
};

}  // namespace lumivant
