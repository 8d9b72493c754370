#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>

namespace lumivant::gtk {

// The addresses of the last navigations the user started with a click or a
// key. WebKitGTK tells whether a navigation came from the user but not
// whether the download it turned into did; the download's address is looked
// up here instead. Each navigation accounts for one download at most.
class UserGestureMemory {
 public:
  void navigationStarted(const std::string& uri, bool byUserGesture) {
    if (!byUserGesture || uri.empty()) return;
    uris_.push_back(uri);
    if (uris_.size() > kKept) uris_.pop_front();
  }

  // Whether a navigation to uri that the user started is still unaccounted
  // for; it is accounted for from now on.
  bool takeDownload(const std::string& uri) {
    const auto it = std::find(uris_.rbegin(), uris_.rend(), uri);
    if (it == uris_.rend()) return false;
    uris_.erase(std::next(it).base());
    return true;
  }

 private:
  // More than a user clicks between two downloads' questions.
  static constexpr size_t kKept = 32;
  std::deque<std::string> uris_;
};

}  // namespace lumivant::gtk
