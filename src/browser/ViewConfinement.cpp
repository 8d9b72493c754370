#include "browser/ViewConfinement.h"

#include <optional>
#include <utility>

namespace lumivant {

struct ViewConfinement::State {
  enum class Stage { none, underWay, inPlace, failed };
  Stage stage = Stage::none;
  uint16_t port = 0;
  std::string failure;
  // Tells a completion of an attempt that a later one replaced from the last.
  uint64_t attempt = 0;
  std::function<void()> confined;
  std::function<void(const std::string& reason)> failed;
};

ViewConfinement::ViewConfinement(WebView& view, std::string cookieName, std::string secret)
    : view_(view),
      cookieName_(std::move(cookieName)),
      secret_(std::move(secret)),
      state_(std::make_shared<State>()) {}

ViewConfinement::~ViewConfinement() = default;

void ViewConfinement::prepare(uint16_t port) {
  State& state = *state_;
  const bool current = state.port == port && (state.stage == State::Stage::underWay ||
                                              state.stage == State::Stage::inPlace);
  if (current) return;
  state.stage = State::Stage::underWay;
  state.port = port;
  const uint64_t attempt = ++state.attempt;
  std::weak_ptr<State> weak = state_;
  view_.confineToBackend(BackendConfinement{port, cookieName_, secret_},
                         [this, weak, attempt](const std::optional<std::string>& error) {
                           if (weak.lock()) finished(attempt, error);
                         });
}

void ViewConfinement::finished(uint64_t attempt, const std::optional<std::string>& error) {
  State& state = *state_;
  if (attempt != state.attempt) return;
  state.stage = error ? State::Stage::failed : State::Stage::inPlace;
  state.failure = error.value_or("");
  auto confined = std::exchange(state.confined, nullptr);
  auto failed = std::exchange(state.failed, nullptr);
  if (error) {
    if (failed) failed(*error);
  } else if (confined) {
    confined();
  }
}

void ViewConfinement::whenConfined(uint16_t port, std::function<void()> confined,
                                   std::function<void(const std::string& reason)> failed) {
  State& state = *state_;
  // A confinement that failed is tried again for the next backend that is ready.
  if (state.port == port && state.stage == State::Stage::failed) state.stage = State::Stage::none;
  state.confined = std::move(confined);
  state.failed = std::move(failed);
  prepare(port);
  // prepare() may have finished at once, with a view that answers at once.
  if (state.port == port && state.stage == State::Stage::inPlace && state.confined) {
    std::exchange(state.confined, nullptr)();
    state.failed = nullptr;
  }
}

void ViewConfinement::lift() {
  State& state = *state_;
  if (state.stage == State::Stage::none) return;
  ++state.attempt;  // whatever is under way no longer counts
  state.stage = State::Stage::none;
  state.port = 0;
  state.confined = nullptr;
  state.failed = nullptr;
  view_.liftConfinement();
}

}  // namespace lumivant
