#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/RestartBudget.h"
#include "base/Url.h"
#include "browser/FirstPageWatch.h"
#include "host/Host.h"
#include "host/MainQueue.h"
#include "host/WebViewDelegate.h"
#include "pages/MessagePageHtml.h"
#include "pages/MessagePages.h"

namespace lumivant {

// What the window shows as pages come and go: the starting indicator until the
// first page or a message page, the watch on the first page, message pages,
// the load log, and the view's recovery when its web content process ends.
// Lives in a shared_ptr so that work it posts can hold it weakly.
class PageLifecycle final : public PageLoadDelegate,
                            public std::enable_shared_from_this<PageLifecycle> {
 public:
  PageLifecycle(Window& window, WebView& webView, MainQueue& mainQueue,
                MessagePageTemplate pageTemplate)
      : window_(window),
        webView_(webView),
        mainQueue_(mainQueue),
        pageTemplate_(std::move(pageTemplate)) {}

  // Whether an address is one of the app's own pages; a failed load of any
  // other address is left to the page.
  std::function<bool(const std::string& url)> isAppAddress;
  // Called whenever what the view shows has changed, after the change.
  std::function<void()> onChanged;
  // Called when another page has begun to show in the view.
  std::function<void()> onCommitted;
  // Called once, when the app's first page has finished loading.
  std::function<void()> onFirstPageShown;
  // Reloading the message page of a backend that ended asks for this: the
  // backend starts again. Without it that page has nothing to reload.
  std::function<void()> restartBackend;

  // Says the app is starting, until a page of it commits or a message page shows.
  void showStartingIndicator();
  // Loads the first page of a backend or server that has just answered, and
  // watches it: a failure ends in a message page.
  void showAppPage(const Url& url);
  // Shows the message page at once, in place of whatever the view showed.
  void showMessage(const MessagePage& page);

  // A navigation to target was refused as not local.
  void navigationRefused(const std::string& target);
  // The web view's load events.
  void didCommit(const std::string& url) override;
  void didFinish() override;
  void didFail(const NavigationFailure& failure) override;
  void webContentProcessDidTerminate() override;
  // Where the view can go back and forward to is part of what it shows.
  void backForwardListDidChange() override { changed(); }

  // Whether reloading acts now: on a page of the app; on the message page of
  // a failed later load, which then loads that address again; on the message
  // page of a backend that ended, which starts it again. Not while the window
  // says it is starting.
  bool canReload() const;
  void reload();

 private:
  void changed() const {
    if (onChanged) onChanged();
  }
  // Shows a message page that a web-view callback decided on, once the
  // callback has returned.
  void showSoon(MessagePage page);
  void hideStartingIndicator();

  Window& window_;
  WebView& webView_;
  MainQueue& mainQueue_;
  const MessagePageTemplate pageTemplate_;
  FirstPageWatch firstPage_;
  // The page's process may end and be reloaded three times a minute.
  RestartBudget crashReloads_{3, std::chrono::minutes(1)};
  std::optional<MessagePage> shownMessage_;  // the message page while it shows
  bool startingIndicatorShown_ = false;
  // A page other than a message page has committed and still shows.
  bool pageShows_ = false;
  // The app's first page has finished: later message pages say "出错了".
  bool appHasShownFirstPage_ = false;
};

}  // namespace lumivant
