#include "browser/LaterLoadFailure.h"

namespace lumivant {

std::optional<std::string> laterLoadFailureMessage(const NavigationFailure& failure) {
  std::string reason;
  switch (failure.kind) {
    case NavigationFailure::Kind::cancelled:
    case NavigationFailure::Kind::becameDownload:
      return std::nullopt;
    case NavigationFailure::Kind::timedOut:
      reason = "60 秒内没有回应";
      break;
    case NavigationFailure::Kind::error:
      reason = failure.description;
      break;
  }
  return "页面没能打开 " + failure.url + "\n\n" + reason + "\n\n按 F5 再试一次。";
}

}  // namespace lumivant
