#pragma once

#include <optional>
#include <string>

namespace lumivant {

// The outcome of one GET of a readiness URL. Redirects are followed, so the
// status is the final response's.
struct ProbeResult {
  std::optional<long> status;  // the HTTP status, when a response arrived
  std::string transportError;  // libcurl's description of a transport failure, else empty
  bool ready() const { return status && *status == 200; }
};

// One blocking probe with the given time-out, on the calling thread.
ProbeResult probeReadiness(const std::string& url, double timeoutSeconds);

}  // namespace lumivant
