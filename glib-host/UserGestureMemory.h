#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>
#include <utility>

#include "host/WebViewDelegate.h"

namespace lumivant::gtk {

// The addresses of the last navigations the user started with a click or a
// key, each with the press it came from. WebKitGTK tells whether a navigation
// came from the user but not whether the download it turned into did; the
// download's address is looked up here instead. One press accounts for one
// download at most, however many navigations its page's script made of it:
// a click that makes a hundred frames load attachments gives one.
class UserGestureMemory {
 public:
  void navigationStarted(const std::string& uri, bool byUserGesture, GestureId gesture) {
    if (!byUserGesture || uri.empty()) return;
    navigations_.emplace_back(uri, gesture);
    if (navigations_.size() > kKept) navigations_.pop_front();
  }

  // Whether a navigation to uri that the user started is still unaccounted
  // for, and its press has not yet given a download; both are accounted for
  // from now on.
  bool takeDownload(const std::string& uri) {
    const auto it = std::find_if(navigations_.rbegin(), navigations_.rend(),
                                 [&](const auto& navigation) { return navigation.first == uri; });
    if (it == navigations_.rend()) return false;
    const GestureId gesture = it->second;
    navigations_.erase(std::next(it).base());
    // A press the view could not tell (0) is a gesture of its own each time.
    if (gesture != 0) {
      if (std::find(gavePanel_.begin(), gavePanel_.end(), gesture) != gavePanel_.end())
        return false;
      gavePanel_.push_back(gesture);
      if (gavePanel_.size() > kKept) gavePanel_.pop_front();
    }
    return true;
  }

 private:
  // More than a user clicks between two downloads' questions.
  static constexpr size_t kKept = 32;
  std::deque<std::pair<std::string, GestureId>> navigations_;
  // The presses that have given a download.
  std::deque<GestureId> gavePanel_;
};

}  // namespace lumivant::gtk
