#include "browser/Navigation.h"

#include "browser/HistorySteps.h"

namespace lumivant {

bool Navigation::isHeld(const NavigationAction& action) const {
  if (serving_ || !action.url) return false;
  const auto url = Url::parseReported(*action.url);
  // Local by the base, not merely by being an about: page (the message page).
  return url && isLocal(*url, base_) && !isLocal(*url, std::nullopt);
}

NavigationActionPolicy Navigation::decideAction(const NavigationAction& action) {
  if (isHeld(action)) return NavigationActionPolicy::cancel;
  const NavigationDecision decision = decideNavigationAction(action, base_);
  // The hand-over comes first, so the system has the URL before the engine
  // learns that the navigation was cancelled.
  if (decision.openExternally) handOver(*action.url, action.gesture);
  if (decision.policy == NavigationActionPolicy::cancel && action.url && onRefused) {
    onRefused(*action.url);
  }
  if (decision.policy == NavigationActionPolicy::allow &&
      action.navigationType == NavigationType::formResubmitted &&
      !resubmission_->mayResubmit(*action.url)) {
    return NavigationActionPolicy::cancel;
  }
  return decision.policy;
}

bool Navigation::isAppAddress(const std::string& url) const {
  const std::optional<Url> parsed = Url::parseReported(url);
  return base_ && parsed && parsed->scheme() != "about" && isLocal(*parsed, base_);
}

NavigationResponsePolicy Navigation::decideResponse(const NavigationResponse& response) {
  return decideNavigationResponse(response);
}

bool Navigation::createWebViewFor(const NavigationAction& action) {
  const NewWindowEffect effect = decideNewWindow(action, base_);
  if (effect == NewWindowEffect::standIn) return true;
  carryOut(effect, action);
  return false;
}

void Navigation::openedWindowNavigation(const NavigationAction& action) {
  carryOut(decideOpenedWindowNavigation(action, base_), action);
}

ContextMenuChoice Navigation::decideContextMenuItem(ContextMenuItem item,
                                                    const std::optional<std::string>& address) {
  return lumivant::decideContextMenuItem(item, address, base_);
}

void Navigation::openLinkChosen(const std::string& url, GestureId gesture) {
  const NavigationAction click{url, NavigationType::linkActivated, false, /*isUserGesture=*/true,
                               gesture};
  carryOut(decideNewWindow(click, base_), click);
}

void Navigation::pageClosedItsWindow(bool afterUserGesture) {
  if (!afterUserGesture || !base_ || !serving_) return;
  const BackForwardItems history = webView_.backForwardItems();
  const std::optional<std::string> back = historyTarget(history, HistoryDirection::back);
  if (back && isAppAddress(*back)) {
    webView_.goBackOrForward(*historySteps(history, HistoryDirection::back));
  } else {
    webView_.load(Request{base_->absoluteString()});
  }
}

void Navigation::carryOut(NewWindowEffect effect, const NavigationAction& action) {
  if (isHeld(action)) return;
  if (effect == NewWindowEffect::loadInWebView) webView_.load(Request{*action.url});
  if (effect == NewWindowEffect::openExternally) handOver(*action.url, action.gesture);
}

void Navigation::handOver(const std::string& url, GestureId gesture) {
  if (!handOvers_.allow(gesture, HandOverLimit::Clock::now())) return;
  const auto parsed = Url::parseReported(url);
  const std::string shown = parsed ? parsed->displayString() : url;
  host_.openExternally(url, [alive = std::weak_ptr<bool>(alive_), &window = window_,
                             shown](const std::string& reason) {
    if (alive.expired()) return;
    const HandOverFailureText text = handOverFailureText(shown, reason);
    window.beginAlertSheet({text.messageText, text.informativeText, {}}, [](long) {});
  });
}

}  // namespace lumivant
