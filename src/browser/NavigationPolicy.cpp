#include "browser/NavigationPolicy.h"

#include <algorithm>
#include <cctype>

namespace lumivant {

namespace {

bool isListed(const Url& url) {
  const std::string scheme = url.scheme().value_or("");
  return std::find(externalSchemes.begin(), externalSchemes.end(), scheme) != externalSchemes.end();
}

// Only the user hands an address to the system: a link that the page's own
// script activated would let any page, or content shown in it, open the
// user's browser and mail client as often as it likes.
bool handsOver(const NavigationAction& action, const Url& url) {
  return action.navigationType == NavigationType::linkActivated && action.isUserGesture &&
         isListed(url);
}

}  // namespace

bool isLocal(const Url& url, const std::optional<Url>& base) {
  // The message page has no base address and must still show.
  if (url.scheme() == "about") return true;
  if (!base) return false;
  // A blob's address embeds the address of the page that made it, so the
  // base's whole text, path included, must lead it.
  if (url.scheme() == "blob") {
    const std::string prefix = "blob:" + base->absoluteString();
    return url.absoluteString().starts_with(prefix);
  }
  return url.scheme() == base->scheme() && url.host() == base->host() && url.port() == base->port();
}

NavigationDecision decideNavigationAction(const NavigationAction& action,
                                          const std::optional<Url>& base) {
  if (!action.url) return {NavigationActionPolicy::cancel};
  // What cannot be read as a URL cannot be judged, so it goes nowhere.
  const auto url = Url::parseReported(*action.url);
  if (!url) return {NavigationActionPolicy::cancel};
  if (isLocal(*url, base)) {
    return {action.shouldPerformDownload ? NavigationActionPolicy::download
                                         : NavigationActionPolicy::allow};
  }
  return {NavigationActionPolicy::cancel, handsOver(action, *url)};
}

bool isAttachmentDisposition(std::string_view value) {
  constexpr std::string_view kWhitespace = " \t";
  const size_t begin = value.find_first_not_of(kWhitespace);
  if (begin == std::string_view::npos) return false;
  std::string_view type = value.substr(begin, value.find(';', begin) - begin);
  type = type.substr(0, type.find_last_not_of(kWhitespace) + 1);
  constexpr std::string_view kAttachment = "attachment";
  return std::equal(
      type.begin(), type.end(), kAttachment.begin(), kAttachment.end(),
      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

NavigationResponsePolicy decideNavigationResponse(const NavigationResponse& response) {
  // Every browser saves an attachment whatever its type; showing a CSV export
  // in place of the application would leave the user no way back.
  if (response.contentDisposition && isAttachmentDisposition(*response.contentDisposition)) {
    return NavigationResponsePolicy::download;
  }
  return response.canShowMIMEType ? NavigationResponsePolicy::allow
                                  : NavigationResponsePolicy::download;
}

NewWindowEffect decideNewWindow(const NavigationAction& action, const std::optional<Url>& base) {
  // Script opens windows of its own accord too (pop-ups on load, on a timer);
  // only one that the user's click or key started gets a stand-in.
  if (action.navigationType == NavigationType::other) {
    return action.isUserGesture ? NewWindowEffect::standIn : NewWindowEffect::none;
  }
  if (!action.url || action.navigationType != NavigationType::linkActivated) {
    return NewWindowEffect::none;
  }
  const auto url = Url::parseReported(*action.url);
  if (!url) return NewWindowEffect::none;
  if (isLocal(*url, base)) return NewWindowEffect::loadInWebView;
  return handsOver(action, *url) ? NewWindowEffect::openExternally : NewWindowEffect::none;
}

NewWindowEffect decideOpenedWindowNavigation(const NavigationAction& action,
                                             const std::optional<Url>& base) {
  // The gesture was the opening one; whatever the stand-in's own navigation
  // reports (script may set its address long after the click), it counts.
  NavigationAction clicked = action;
  clicked.navigationType = NavigationType::linkActivated;
  clicked.isUserGesture = true;
  return decideNewWindow(clicked, base);
}

bool HandOverLimit::allow(GestureId gesture, Clock::time_point now) {
  if (gesture == 0) {
    if (lastUnknown_ && now - *lastUnknown_ < kUnknownGestureInterval) return false;
    lastUnknown_ = now;
    return true;
  }
  // Gestures are numbered in the order the user made them: one not newer than
  // the last that handed over has had its hand-over.
  if (gesture <= lastGesture_) return false;
  lastGesture_ = gesture;
  return true;
}

HandOverFailureText handOverFailureText(const std::string& url, const std::string& reason) {
  return {"没能用系统打开这个地址：" + url, reason};
}

}  // namespace lumivant
