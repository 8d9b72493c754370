#include "GtkWebView.h"

#include <string>

namespace lumivant::gtk {

namespace {

// The shell's own website data store under the user's XDG data and cache
// directories, so that cookies and site storage survive between runs without
// being shared with other WebKitGTK programs.
GObjectPtr<WebKitWebContext> makePersistentContext() {
  const std::string data = std::string(g_get_user_data_dir()) + "/Lumivant";
  const std::string cache = std::string(g_get_user_cache_dir()) + "/Lumivant";
  auto manager = GObjectPtr<WebKitWebsiteDataManager>::adopt(webkit_website_data_manager_new(
      "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr));
  auto context = GObjectPtr<WebKitWebContext>::adopt(
      webkit_web_context_new_with_website_data_manager(manager.get()));
  const std::string cookies = data + "/cookies.sqlite";
  webkit_cookie_manager_set_persistent_storage(webkit_web_context_get_cookie_manager(context.get()),
                                               cookies.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  return context;
}

}  // namespace

GtkWebView::GtkWebView(WebViewDelegate& delegate) : delegate_(delegate) {
  auto context = makePersistentContext();
  GtkWidget* widget = webkit_web_view_new_with_context(context.get());
  view_ = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
  g_object_unref(widget);  // drop the sunk floating reference; view_ keeps one
  g_signal_connect(view_.get(), "load-changed", G_CALLBACK(onLoadChanged), this);
}

GtkWebView::~GtkWebView() { g_signal_handlers_disconnect_by_data(view_.get(), this); }

void GtkWebView::load(const Request& request) {
  // WebKitGTK has no per-request time-out; the engine's own applies.
  webkit_web_view_load_uri(view_.get(), request.url.c_str());
}

void GtkWebView::loadHTMLString(const std::string& html) {
  webkit_web_view_load_html(view_.get(), html.c_str(), nullptr);
}

void GtkWebView::evaluateJavaScript(const std::string& script,
                                    std::function<void(std::optional<std::string>)> completion) {
  (void)script;
  completion(std::nullopt);
}

void GtkWebView::setDrawsBackground(bool draws) {
  const GdkRGBA transparent{0, 0, 0, 0};
  const GdkRGBA white{1, 1, 1, 1};
  webkit_web_view_set_background_color(view_.get(), draws ? &white : &transparent);
}

void GtkWebView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<GtkWebView*>(self)->delegate_.didFinishNavigation();
}

}  // namespace lumivant::gtk
