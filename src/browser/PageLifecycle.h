#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "browser/CrashReloads.h"
#include "browser/FirstPageWatch.h"
#include "host/Host.h"
#include "host/MainQueue.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Every kind of page the shell puts into the web view itself.
enum class PageKind {
  // The first page of a backend or server that has just answered; the text is
  // its address. Watched until it finishes: a failure ends in a message page.
  app,
  // A message page saying why the app could not start; the text is the message.
  startupFailure,
  // The message page shown instead of reloading a page whose process keeps ending.
  repeatedCrashes,
  // A message page saying that a later load of the app's own address failed;
  // the text is the message. Reloading loads that address again.
  pageLoadFailure,
};

// What the window shows as pages come and go: the starting indicator until the
// first page or a message page, the watch on the first page, message pages,
// the load log, and the view's recovery when its web content process ends.
// Lives in a shared_ptr so that work it posts can hold it weakly.
class PageLifecycle final : public PageLoadDelegate,
                            public std::enable_shared_from_this<PageLifecycle> {
 public:
  PageLifecycle(Window& window, WebView& webView, MainQueue& mainQueue)
      : window_(window), webView_(webView), mainQueue_(mainQueue) {}

  // Whether an address is one of the app's own pages; a failed load of any
  // other address is left to the page.
  std::function<bool(const std::string& url)> isAppAddress;
  // Called whenever what the view shows has changed, after the change.
  std::function<void()> onChanged;
  // Called when another page has begun to show in the view.
  std::function<void()> onCommitted;

  void showStartingIndicator();
  // Shows a page of the given kind at once.
  void show(PageKind kind, const std::string& text = {});

  // A navigation to target was refused as not local.
  void navigationRefused(const std::string& target);
  // The web view's load events.
  void didCommit(const std::string& url) override;
  void didFinish() override;
  void didFail(const NavigationFailure& failure) override;
  void webContentProcessDidTerminate() override;
  // Where the view can go back and forward to is part of what it shows.
  void backForwardListDidChange() override { changed(); }

  // Whether reloading acts now: on a page of the app, or on the message page
  // of a failed later load, which then loads that address again.
  bool canReload() const;
  void reload();

 private:
  struct ShownMessage {
    PageKind kind;
    std::string text;
  };
  void showMessage(PageKind kind, const std::string& message);
  void changed() const {
    if (onChanged) onChanged();
  }
  // Shows a page that a web-view callback decided on, once the callback has returned.
  void showSoon(PageKind kind, std::string text);
  void hideStartingIndicator();

  Window& window_;
  WebView& webView_;
  MainQueue& mainQueue_;
  FirstPageWatch firstPage_;
  CrashReloadBudget crashReloads_;
  std::optional<ShownMessage> shownMessage_;  // the message page while it shows
  std::string retryAddress_;                  // what reloading a failed later load loads
  bool startingIndicatorShown_ = false;
  // A page other than a message page has committed and still shows.
  bool pageShows_ = false;
  // The app's first page has finished: later message pages say "出错了".
  bool appHasShownFirstPage_ = false;
};

}  // namespace lumivant
