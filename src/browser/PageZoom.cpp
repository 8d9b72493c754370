#include "browser/PageZoom.h"

#include <array>
#include <nlohmann/json.hpp>

#include "base/JsonDocument.h"
#include "base/PathJoin.h"

namespace lumivant {

namespace {

// The steps of the common browsers, close together near the page's own size.
constexpr std::array<double, 13> kLadder = {0.3,  0.5, 0.67, 0.8, 0.9, 1.0, 1.1,
                                            1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
// A level read back from text, or summed in floating point, is on a step when
// this close to it.
constexpr double kSameLevel = 0.005;

}  // namespace

double nextZoomLevel(double current, ZoomStep step) {
  if (step == ZoomStep::in) {
    for (const double level : kLadder) {
      if (level > current + kSameLevel) return level;
    }
  } else {
    for (auto level = kLadder.rbegin(); level != kLadder.rend(); ++level) {
      if (*level < current - kSameLevel) return *level;
    }
  }
  return current;
}

bool canZoom(double current, ZoomStep step) { return nextZoomLevel(current, step) != current; }

ZoomMemory::ZoomMemory(const std::string& stateDirectory, const std::string& dataRoot)
    : file_(joinPath(stateDirectory, "page-zoom.json")), key_(dataRootJsonKey(dataRoot)) {}

std::optional<double> ZoomMemory::recall() const {
  const nlohmann::json entry = file_.value(key_);
  if (!entry.is_number()) return std::nullopt;
  const double level = entry.get<double>();
  if (!(level >= kLadder.front() - kSameLevel && level <= kLadder.back() + kSameLevel)) {
    return std::nullopt;
  }
  return level;
}

void ZoomMemory::remember(double level) const { (void)file_.setValue(key_, level); }

}  // namespace lumivant
