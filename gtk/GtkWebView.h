#pragma once

#include <webkit2/webkit2.h>

#include "GObjectPtr.h"
#include "app/Host.h"
#include "app/WebViewDelegate.h"

namespace lumivant::gtk {

// One WebKitWebView on the shell's own persistent data store. Its signal
// handlers read the engine's request into plain values and ask the delegate.
class GtkWebView final : public WebView {
 public:
  explicit GtkWebView(WebViewDelegate& delegate);
  ~GtkWebView() override;

  GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }
  WebKitWebView* view() const { return view_.get(); }

  void load(const Request& request) override;
  void loadHTMLString(const std::string& html) override;
  void evaluateJavaScript(const std::string& script,
                          std::function<void(std::optional<std::string>)> completion) override;
  void setDrawsBackground(bool draws) override;

 private:
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);

  WebViewDelegate& delegate_;
  GObjectPtr<WebKitWebView> view_;
};

}  // namespace lumivant::gtk
