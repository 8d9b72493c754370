#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace lumivant::gtk {

// The bar below the page that finds text in it: a search field that finds as
// the user types, "上一个" and "下一个" (Shift+Return and Return), "找不到"
// when nothing matches, and Escape closing it with the focus back on the page.
class GtkFindBar {
 public:
  explicit GtkFindBar(WebKitWebView* view);
  ~GtkFindBar();
  GtkFindBar(const GtkFindBar&) = delete;
  GtkFindBar& operator=(const GtkFindBar&) = delete;

  // The bar, hidden until shown; owned by whatever container it is packed in.
  GtkWidget* widget() const { return bar_; }
  // Shows the bar with the focus in its field, the text there selected so
  // that typing replaces it.
  void show();
  // Hides the bar, clears the page's highlights and focuses the page.
  void close();
  bool isShown() const { return gtk_widget_get_visible(bar_) != FALSE; }
  bool saysNotFound() const { return gtk_widget_get_visible(notFound_) != FALSE; }

 private:
  void search();
  void step(bool forward);
  static void onSearchChanged(GtkSearchEntry*, gpointer self);
  static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static void onStopSearch(GtkSearchEntry*, gpointer self);
  static void onPrevious(GtkButton*, gpointer self);
  static void onNext(GtkButton*, gpointer self);
  static void onFound(WebKitFindController*, guint, gpointer self);
  static void onNotFound(WebKitFindController*, gpointer self);

  WebKitWebView* view_;
  WebKitFindController* finder_;  // owned by the view
  GtkWidget* bar_;
  GtkWidget* entry_;
  GtkWidget* notFound_;
};

}  // namespace lumivant::gtk
