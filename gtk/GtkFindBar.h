#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace lumivant::gtk {

// The bar below the page that finds text in it: a search field that finds as
// the user types, "上一个" and "下一个" (Shift+Return and Return in the field,
// the menu's find-again keys anywhere), "找不到" when nothing matches, and
// Escape closing it with the focus back on the page.
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
  // The next (or previous) match of the field's text, the bar shown with the
  // focus in its field if it was closed; the bar alone while it has no text.
  void findAgain(bool forward);
  // Hides the bar, clears the page's highlights and gives the page its
  // keyboard back where it was.
  void close();
  bool isShown() const { return gtk_widget_get_visible(bar_) != FALSE; }
  bool saysNotFound() const { return gtk_widget_get_visible(notFound_) != FALSE; }

 private:
  // Shows the bar with the focus in its field, keeping in the page what had
  // its keyboard, for close() to give it back.
  void reveal();
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
