#pragma once

#include <optional>
#include <string>

namespace lumivant {

// The outcome of one GET of a readiness URL. Redirects are followed, so the
// status is the final response's.
struct ProbeResult {
  std::optional<long> status;  // the HTTP status, when a response arrived
  std::string transportError;  // the HTTP client's description of a transport failure, else empty
  bool ready() const { return status && *status == 200; }
};

// What a probe got, as the never-ready message says it: "HTTP " and the
// status, or the transport's error.
std::string describeProbeAnswer(const ProbeResult& result);

// One blocking probe with the given time-out, on the calling thread. A
// cookie, when given, is sent as the request's Cookie header.
ProbeResult probeReadiness(const std::string& url, double timeoutSeconds,
                           const std::string& cookie = {});

}  // namespace lumivant
