#include "WebProcessWarmUp.h"

namespace lumivant::gtk {

WebProcessWarmUp::WebProcessWarmUp(WebKitWebContext* context) {
  GtkWidget* widget = webkit_web_view_new_with_context(context);
  blankView_ = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
  g_object_unref(widget);  // drop the sunk floating reference; blankView_ keeps one
  g_signal_connect(blankView_.get(), "load-changed", G_CALLBACK(onLoadChanged), this);
  webkit_web_view_load_uri(blankView_.get(), "about:blank");
}

WebProcessWarmUp::~WebProcessWarmUp() {
  g_signal_handlers_disconnect_by_data(blankView_.get(), this);
  // A view that was never in a window is not destroyed with one.
  gtk_widget_destroy(GTK_WIDGET(blankView_.get()));
}

void WebProcessWarmUp::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<WebProcessWarmUp*>(self)->loaded_ = true;
}

}  // namespace lumivant::gtk
