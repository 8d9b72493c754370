#pragma once

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

namespace lumivant::gtk {

// Wraps the engine's answer to a request so that it is given exactly once: with
// the values of the first call, or with the fallback when every copy of the
// returned function is dropped without having been called. The engine waits for
// an answer to every dialog, download and file chooser; a completion that the
// core loses must still release it.
template <class... Args>
std::function<void(Args...)> answerOnce(
    std::type_identity_t<std::function<void(Args...)>> answer,
    std::type_identity_t<std::tuple<std::decay_t<Args>...>> fallback) {
  struct Guard {
    Guard(std::function<void(Args...)> a, std::tuple<std::decay_t<Args>...> f)
        : answer(std::move(a)), fallback(std::move(f)) {}
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard() {
      if (!answered) std::apply(answer, std::move(fallback));
    }
    std::function<void(Args...)> answer;
    std::tuple<std::decay_t<Args>...> fallback;
    bool answered = false;
  };
  auto guard = std::make_shared<Guard>(std::move(answer), std::move(fallback));
  return [guard](Args... args) {
    if (guard->answered) return;
    guard->answered = true;
    guard->answer(std::forward<Args>(args)...);
  };
}

}  // namespace lumivant::gtk
