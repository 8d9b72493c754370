#pragma once

#include <webkit2/webkit2.h>

#include "GObjectPtr.h"

namespace lumivant::gtk {

// Starts the web process of a web view that is yet to be made, before its
// first page is known: launching that process takes about as long as a backend
// takes to become ready, and the two then overlap instead of following each
// other. A blank view of its own, never shown, loads a blank page; the web
// view made related to it shares its web process, and nothing of the blank
// page reaches that view's signals or its history.
class WebProcessWarmUp {
 public:
  explicit WebProcessWarmUp(WebKitWebContext* context);
  ~WebProcessWarmUp();
  WebProcessWarmUp(const WebProcessWarmUp&) = delete;
  WebProcessWarmUp& operator=(const WebProcessWarmUp&) = delete;

  // What the web view is made related to (webkit_web_view_new_with_related_view).
  WebKitWebView* blankView() const { return blankView_.get(); }
  // Whether the blank page has loaded, so that the web process runs.
  bool isWebProcessRunning() const { return loaded_; }

 private:
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);

  GObjectPtr<WebKitWebView> blankView_;
  bool loaded_ = false;
};

}  // namespace lumivant::gtk
