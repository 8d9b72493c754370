#include "browser/ViewConfinement.h"

#include <optional>
#include <utility>

namespace lumivant {

struct ViewConfinement::State {
  enum class Stage { none, underWay, inPlace, failed };
  Stage stage = Stage::none;
  uint16_t port = 0;
  std::string secret;
  std::string failure;
  // Tells a completion of an attempt that a later one replaced from the last.
  uint64_t attempt = 0;
  std::function<void()> confined;
  std::function<void(const std::string& reason)> failed;
};

ViewConfinement::ViewConfinement(WebView& view, std::string cookieName)
    : view_(view), cookieName_(std::move(cookieName)), state_(std::make_shared<State>()) {}

ViewConfinement::~ViewConfinement() = default;

void ViewConfinement::prepare(uint16_t port, const std::string& secret) {
  State& state = *state_;
  const bool current =
      state.port == port && state.secret == secret &&
      (state.stage == State::Stage::underWay || state.stage == State::Stage::inPlace);
  if (current) return;
  state.stage = State::Stage::underWay;
  state.port = port;
  state.secret = secret;
  const uint64_t attempt = ++state.attempt;
  std::weak_ptr<State> weak = state_;
  view_.confineToBackend(BackendConfinement{port, cookieName_, secret},
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

void ViewConfinement::whenConfined(uint16_t port, const std::string& secret,
                                   std::function<void()> confined,
                                   std::function<void(const std::string& reason)> failed) {
  State& state = *state_;
  const auto same = [&] { return state.port == port && state.secret == secret; };
  // A confinement that failed is tried again for the next backend that is ready.
  if (same() && state.stage == State::Stage::failed) state.stage = State::Stage::none;
  state.confined = std::move(confined);
  state.failed = std::move(failed);
  prepare(port, secret);
  // prepare() may have finished at once, with a view that answers at once.
  if (same() && state.stage == State::Stage::inPlace && state.confined) {
    std::exchange(state.confined, nullptr)();
    state.failed = nullptr;
  }
}

void ViewConfinement::withdraw() {
  // No port and no secret: every loopback port refused, the cookie taken back.
  state_->confined = nullptr;
  state_->failed = nullptr;
  prepare(0, {});
}

void ViewConfinement::lift() {
  State& state = *state_;
  // Lifted even when nothing was confined in this run: the cookie an earlier
  // run presented stays in the view's store until taken back.
  ++state.attempt;  // whatever is under way no longer counts
  state.stage = State::Stage::none;
  state.port = 0;
  state.confined = nullptr;
  state.failed = nullptr;
  view_.liftConfinement(cookieName_);
}

}  // namespace lumivant
