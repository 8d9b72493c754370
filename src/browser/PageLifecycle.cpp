// What the delegate does as pages come and go: the starting indicator, the
// watch on the first page, and the view's recovery when its web content
// process ends.

#include "app/AppDelegate.h"

namespace lumivant {

namespace {

constexpr std::string_view kBlankPage = "about:blank";

}  // namespace

void AppDelegate::loadFirstPage(const std::string& url) {
  if (!webView) return;
  firstPage_.pageRequested(url);
  webView->load(Request{url, 60.0});
}

void AppDelegate::hideStartingIndicator() {
  if (!startingIndicatorShown_) return;
  startingIndicatorShown_ = false;
  if (window) window->hideStartingIndicator();
}

void AppDelegate::showMessageSoon(std::string message) {
  mainQueue_.post([weak = weak_from_this(), message = std::move(message)] {
    if (auto self = weak.lock()) self->showMessage(message);
  });
}

void AppDelegate::didCommitNavigation(const std::string& url) {
  firstPage_.committed();
  // A page of the backend replaced the message page; the message page itself
  // has the blank page's address.
  if (url != kBlankPage) shownMessage_.reset();
  hideStartingIndicator();
}

void AppDelegate::didFailNavigation(const NavigationFailure& failure) {
  // The engine is still inside its failure handling: the message page follows
  // right after.
  if (auto message = firstPage_.failed(failure)) showMessageSoon(*message);
}

void AppDelegate::webContentProcessDidTerminate() {
  // The view shows its last frame and answers nothing until it loads again.
  if (!crashReloads_.allowReload(CrashReloadBudget::Clock::now())) {
    showMessage(std::string(kRepeatedCrashMessage));
    return;
  }
  if (shownMessage_) {
    showMessage(*shownMessage_);
  } else if (webView) {
    webView->reload();
  }
}

}  // namespace lumivant
