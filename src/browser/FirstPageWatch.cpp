#include "browser/FirstPageWatch.h"

namespace lumivant {

void FirstPageWatch::pageRequested(std::string url) {
  url_ = std::move(url);
  state_ = State::requested;
}

std::optional<std::string> FirstPageWatch::failed(const NavigationFailure& failure) {
  if (state_ == State::idle) return std::nullopt;
  switch (failure.kind) {
    case NavigationFailure::Kind::cancelled:
      // Another load replaced it, and that one is what the view shows next.
      return std::nullopt;
    case NavigationFailure::Kind::timedOut:
      return fail("60 秒内没有回应");
    case NavigationFailure::Kind::error:
    case NavigationFailure::Kind::becameDownload:  // the app's first page must be a page
      break;
  }
  return fail(failure.description);
}

std::optional<std::string> FirstPageWatch::refusedNavigation(const std::string& target) {
  if (state_ != State::requested) return std::nullopt;
  return fail("它转到了别处：" + target);
}

std::optional<std::string> FirstPageWatch::fail(const std::string& reason) {
  state_ = State::idle;
  return "首页没能打开 " + url_ + "\n\n" + reason;
}

}  // namespace lumivant
