#pragma once

#include <optional>
#include <string>

#include "base/JsonDocument.h"

namespace lumivant {

// The page's zoom levels, from 30 % to 300 %, 1 being the page's own size.
inline constexpr double kActualSize = 1.0;

enum class ZoomStep { in, out };

// The next level of the fixed ladder in the step's direction from current
// (which need not be on the ladder); current itself at either end.
double nextZoomLevel(double current, ZoomStep step);
// Whether a level can be stepped in that direction at all.
bool canZoom(double current, ZoomStep step);

// The zoom each data root was left at, kept in the shell's own state beside
// the window's frame: a JSON object from data root to level in "page-zoom.json".
class ZoomMemory {
 public:
  ZoomMemory(const std::string& stateDirectory, const std::string& dataRoot);

  // The level kept for the data root; nothing when there is none or the file
  // is missing, damaged, or holds a level outside the ladder's range.
  std::optional<double> recall() const;
  // Keeps level for the data root and every other root's as it was, also one
  // another shell keeps at the same time. A level that cannot be written is
  // simply not kept.
  void remember(double level) const;

 private:
  JsonObjectFile file_;
  std::string key_;
};

}  // namespace lumivant
