#include "browser/FirstPageWatch.h"

namespace lumivant {

void FirstPageWatch::pageRequested(std::string url) {
  url_ = std::move(url);
  state_ = State::requested;
}

std::optional<FirstPageFailed> FirstPageWatch::failed(const NavigationFailure& failure) {
  if (state_ == State::idle) return std::nullopt;
  switch (failure.kind) {
    case NavigationFailure::Kind::cancelled:
      // Another load replaced it, and that one is what the view shows next.
      return std::nullopt;
    case NavigationFailure::Kind::timedOut:
      return fail({LoadProblem::Kind::noAnswer, {}});
    case NavigationFailure::Kind::error:
    case NavigationFailure::Kind::becameDownload:  // the app's first page must be a page
      break;
  }
  return fail({LoadProblem::Kind::error, failure.description});
}

std::optional<FirstPageFailed> FirstPageWatch::refusedNavigation(const std::string& target) {
  if (state_ != State::requested) return std::nullopt;
  return fail({LoadProblem::Kind::ledElsewhere, target});
}

FirstPageFailed FirstPageWatch::fail(LoadProblem problem) {
  state_ = State::idle;
  return FirstPageFailed{url_, std::move(problem)};
}

}  // namespace lumivant
