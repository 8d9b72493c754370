// A page's window.close(). The engine lets a script close only a window that
// script opened, or one that has shown a single page; the shell's one window
// is neither once the user has gone from page to page, and the call did
// nothing at all (a notebook's "Close and Halt" left the user on a page
// without its kernel). A script of the shell's own, in each page's main
// frame, hands the call to the shell instead, which decides what it means.

#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

constexpr const char* kWindowCloseHandler = "lumivantWindowClose";

// Replaces window.close before the page's own scripts run; a page that
// keeps the original around gets the engine's refusal from it as before. A
// window that script opened (a stand-in, which shares this script and its
// handler with the shell's view) closes as the engine lets it: its opener
// closing it must not move the shell's page. (A page may be its own opener:
// window.open('', '_self') before window.close(), as a notebook does.)
constexpr const char* kWindowCloseScript = R"JS(
(function () {
  var handler = window.webkit.messageHandlers.lumivantWindowClose;
  var close = window.close;
  window.close = function () {
    if (window.opener && window.opener !== window) return close.call(window);
    handler.postMessage(null);
  };
})();
)JS";

}  // namespace

void GtkWebView::installWindowCloseScript() {
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_.get());
  webkit_user_content_manager_register_script_message_handler(manager, kWindowCloseHandler);
  g_autoptr(WebKitUserScript) script =
      webkit_user_script_new(kWindowCloseScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager, script);
}

void GtkWebView::onWindowCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*,
                                      gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  // Only after the user has pressed something on this page: a page may not
  // send the user elsewhere on its own.
  view->delegates_->navigation.pageClosedItsWindow(view->presses_.current() >
                                                   view->gestureAtCommit_);
}

}  // namespace lumivant::gtk
