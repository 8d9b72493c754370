#include "browser/PageLifecycle.h"

#include "browser/LoadLog.h"

namespace lumivant {

namespace {

constexpr std::string_view kBlankPage = "about:blank";
constexpr std::string_view kStartingText = "正在启动…";
constexpr double kPageTimeoutSeconds = 60.0;

// A later load of the app's own page that did not come; nothing for a load
// that another load took the place of, which is no failure.
std::optional<LaterPageFailed> laterPageFailure(const NavigationFailure& failure) {
  switch (failure.kind) {
    case NavigationFailure::Kind::cancelled:
    case NavigationFailure::Kind::becameDownload:
      return std::nullopt;
    case NavigationFailure::Kind::timedOut:
      return LaterPageFailed{failure.url, {LoadProblem::Kind::noAnswer, {}}};
    case NavigationFailure::Kind::error:
      break;
  }
  return LaterPageFailed{failure.url, {LoadProblem::Kind::error, failure.description}};
}

// The pages whose reload starts the backend again: it has ended, and nothing
// else will start it.
bool offersBackendRestart(const MessagePage& page) {
  return std::holds_alternative<BackendEnded>(page) ||
         std::holds_alternative<RestartsExhausted>(page);
}

}  // namespace

void PageLifecycle::showStartingIndicator() {
  window_.showStartingIndicator(std::string(kStartingText));
  startingIndicatorShown_ = true;
  changed();
}

void PageLifecycle::showAppPage(const Url& url) {
  firstPage_.pageRequested(url.absoluteString());
  webView_.load(Request{url.absoluteString(), kPageTimeoutSeconds});
}

void PageLifecycle::showMessage(const MessagePage& page) {
  // The message is what the window shows now: no first page to wait for.
  firstPage_.stop();
  shownMessage_ = page;
  pageShows_ = false;
  hideStartingIndicator();
  webView_.loadHTMLString(pageTemplate_.html(
      messageText(page), appHasShownFirstPage_ ? kLaterHeading : kStartupHeading));
  changed();
}

void PageLifecycle::showSoon(MessagePage page) {
  mainQueue_.post([weak = weak_from_this(), page = std::move(page)] {
    if (auto self = weak.lock()) self->showMessage(page);
  });
}

void PageLifecycle::hideStartingIndicator() {
  if (!startingIndicatorShown_) return;
  startingIndicatorShown_ = false;
  window_.hideStartingIndicator();
}

void PageLifecycle::navigationRefused(const std::string& target) {
  if (auto failed = firstPage_.refusedNavigation(target)) showSoon(*failed);
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
  if (onCommitted) onCommitted();
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
    if (auto failed = firstPage_.failed(failure)) showSoon(*failed);
    return;
  }
  // Once the app has shown its first page, a later page of its own that does
  // not come says so instead of leaving the last page on screen.
  if (!appHasShownFirstPage_ || !isAppAddress || !isAppAddress(failure.url)) return;
  if (auto failed = laterPageFailure(failure)) showSoon(*failed);
}

bool PageLifecycle::canReload() const {
  // While the window says it is starting, what the view still shows belongs
  // to no backend that runs, and a backend is on its way.
  if (startingIndicatorShown_) return false;
  if (!shownMessage_) return pageShows_;
  if (std::holds_alternative<LaterPageFailed>(*shownMessage_)) return true;
  return offersBackendRestart(*shownMessage_) && restartBackend;
}

void PageLifecycle::reload() {
  if (!canReload()) return;
  if (!shownMessage_) {
    webView_.reload();
  } else if (const auto* failed = std::get_if<LaterPageFailed>(&*shownMessage_)) {
    webView_.load(Request{failed->url, kPageTimeoutSeconds});
  } else {
    restartBackend();
  }
}

void PageLifecycle::webContentProcessDidTerminate() {
  // The view shows its last frame and answers nothing until it loads again.
  if (!crashReloads_.allow(RestartBudget::Clock::now())) {
    showMessage(RepeatedCrashes{});
    return;
  }
  if (shownMessage_) {
    const MessagePage again = *shownMessage_;
    showMessage(again);
  } else {
    webView_.reload();
  }
}

}  // namespace lumivant
