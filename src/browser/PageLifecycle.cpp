#include "browser/PageLifecycle.h"

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
    case PageKind::repeatedCrashes: {
      const std::string message =
          kind == PageKind::repeatedCrashes ? std::string(kRepeatedCrashMessage) : text;
      // The message is what the window shows now: no first page to wait for.
      firstPage_.stop();
      shownMessage_ = ShownMessage{kind, message};
      hideStartingIndicator();
      webView_.loadHTMLString(messagePageHtml(message));
      return;
    }
  }
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
  if (url != kBlankPage) shownMessage_.reset();
  hideStartingIndicator();
}

void PageLifecycle::didFinish() {
  firstPage_.finished();
  // The line needs nothing of this object, so the evaluation holds none of it.
  webView_.evaluateJavaScript("document.title", [](std::optional<std::string> title) {
    writeToStandardError(loadLogLine(title));
  });
}

void PageLifecycle::didFail(const NavigationFailure& failure) {
  // The engine is still inside its failure handling: the message page follows
  // right after.
  if (auto message = firstPage_.failed(failure)) showSoon(PageKind::startupFailure, *message);
}

void PageLifecycle::webContentProcessDidTerminate() {
  // The view shows its last frame and answers nothing until it loads again.
  if (!crashReloads_.allowReload(CrashReloadBudget::Clock::now())) {
    show(PageKind::repeatedCrashes);
    return;
  }
  if (shownMessage_) {
    show(shownMessage_->kind, shownMessage_->text);
  } else {
    webView_.reload();
  }
}

}  // namespace lumivant
