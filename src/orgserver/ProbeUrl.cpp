#include "orgserver/ProbeUrl.h"

#include <algorithm>

namespace lumivant {

namespace {

constexpr std::string_view kReadinessPath = "health/ready";

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

}  // namespace lumivant
