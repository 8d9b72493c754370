#include "browser/HistorySteps.h"

#include <vector>

namespace lumivant {

namespace {

// An address without an empty fragment, which shows the same as without it.
std::string_view shownPage(std::string_view url) {
  if (url.ends_with('#')) url.remove_suffix(1);
  return url;
}

const std::vector<std::string>& entries(const BackForwardItems& items, HistoryDirection direction) {
  return direction == HistoryDirection::back ? items.back : items.forward;
}

}  // namespace

std::optional<int> historySteps(const BackForwardItems& items, HistoryDirection direction) {
  const std::vector<std::string>& way = entries(items, direction);
  const int sign = direction == HistoryDirection::back ? -1 : 1;
  for (size_t i = 0; i < way.size(); ++i) {
    if (!items.current || shownPage(way[i]) != shownPage(*items.current)) {
      return sign * static_cast<int>(i + 1);
    }
  }
  return std::nullopt;
}

std::optional<std::string> historyTarget(const BackForwardItems& items,
                                         HistoryDirection direction) {
  const std::optional<int> steps = historySteps(items, direction);
  if (!steps) return std::nullopt;
  const size_t index = static_cast<size_t>(*steps < 0 ? -*steps : *steps) - 1;
  return entries(items, direction)[index];
}

}  // namespace lumivant
