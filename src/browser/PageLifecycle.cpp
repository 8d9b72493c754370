#include "browser/PageLifecycle.h"

#include "browser/LaterLoadFailure.h"
#include "browser/LoadLog.h"
#include "browser/MessagePage.h"

namespace lumivant {

namespace {

constexpr std::string_view kBlankPage = "about:blank";
constexpr std::string_view kStartingText = "正在启动…";
constexpr double kPageTimeoutSeconds = 60.0;

}  // namespace

void PageLifecycle::showStartingIndicator() {
  window_.showStartingIndicator(std::string(kStartingText));
  startingIndicatorShown_ = true;
}

void PageLifecycle::show(PageKind kind, const std::string& text) {
  switch (kind) {
    case PageKind::app:
      firstPage_.pageRequested(text);
      webView_.load(Request{text, kPageTimeoutSeconds});
      return;
    case PageKind::startupFailure:
    case PageKind::pageLoadFailure:
      showMessage(kind, text);
      return;
    case PageKind::repeatedCrashes:
      showMessage(kind, std::string(kRepeatedCrashMessage));
      return;
  }
}

void PageLifecycle::showMessage(PageKind kind, const std::string& message) {
  // The message is what the window shows now: no first page to wait for.
  firstPage_.stop();
  shownMessage_ = ShownMessage{kind, message};
  pageShows_ = false;
  hideStartingIndicator();
  webView_.loadHTMLString(
      messagePageHtml(message, appHasShownFirstPage_ ? kLaterHeading : kStartupHeading));
  changed();
}

void PageLifecycle::showSoon(PageKind kind, std::string text) {
  mainQueue_.post([weak = weak_from_this(), kind, text = std::move(text)] {
    if (auto self = weak.lock()) self->show(kind, text);
  });
}

void PageLifecycle::hideStartingIndicator() {
  if (!startingIndicatorShown_) return;
  startingIndicatorShown_ = false;
  window_.hideStartingIndicator();
}

void PageLifecycle::navigationRefused(const std::string& target) {
  if (auto message = firstPage_.refusedNavigation(target)) {
    showSoon(PageKind::startupFailure, *message);
  }
}

void PageLifecycle::didCommit(const std::string& url) {
  firstPage_.committed();
  // A page of the backend replaced the message page; the message page itself
  // has the blank page's address.
  if (url != kBlankPage) {
    shownMessage_.reset();
    pageShows_ = true;
  }
  hideStartingIndicator();
  changed();
}

void PageLifecycle::didFinish() {
  if (firstPage_.isWatching()) appHasShownFirstPage_ = true;
  firstPage_.finished();
  // The line needs nothing of this object, so the evaluation holds none of it.
  webView_.evaluateJavaScript("document.title", [](const std::optional<std::string>& title) {
    writeToStandardError(loadLogLine(title));
  });
}

void PageLifecycle::didFail(const NavigationFailure& failure) {
  // The engine is still inside its failure handling: the message page follows
  // right after.
  if (firstPage_.isWatching()) {
    if (auto message = firstPage_.failed(failure)) showSoon(PageKind::startupFailure, *message);
    return;
  }
  // Once the app has shown its first page, a later page of its own that does
  // not come says so instead of leaving the last page on screen.
  if (!appHasShownFirstPage_ || !isAppAddress || !isAppAddress(failure.url)) return;
  if (auto message = laterLoadFailureMessage(failure)) {
    retryAddress_ = failure.url;
    showSoon(PageKind::pageLoadFailure, *message);
  }
}

bool PageLifecycle::canReload() const {
  if (shownMessage_) return shownMessage_->kind == PageKind::pageLoadFailure;
  return pageShows_;
}

void PageLifecycle::reload() {
  if (!canReload()) return;
  if (shownMessage_) {
    webView_.load(Request{retryAddress_, kPageTimeoutSeconds});
  } else {
    webView_.reload();
  }
}

void PageLifecycle::webContentProcessDidTerminate() {
  // The view shows its last frame and answers nothing until it loads again.
  if (!crashReloads_.allowReload(CrashReloadBudget::Clock::now())) {
    show(PageKind::repeatedCrashes);
    return;
  }
  if (shownMessage_) {
    showMessage(shownMessage_->kind, shownMessage_->text);
  } else {
    webView_.reload();
  }
}

}  // namespace lumivant
