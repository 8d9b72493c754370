#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/Host.h"

namespace lumivant {

enum class HistoryDirection { back, forward };

// How many steps one press of 后退 or 前进 goes: to the nearest entry that
// shows another page than the one shown now, passing over entries the user
// never saw as a page of their own: the same address again (a page that
// pushed its own address, a load repeated) or it with an empty fragment (a
// menu link "#" that only opened a menu). Negative going back; nothing when
// no entry that way shows another page.
std::optional<int> historySteps(const BackForwardItems& items, HistoryDirection direction);

// The address a press goes to, when there is one.
std::optional<std::string> historyTarget(const BackForwardItems& items, HistoryDirection direction);

}  // namespace lumivant
