#include "GtkFindBar.h"

namespace lumivant::gtk {

namespace {

constexpr guint32 kFindOptions =
    WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
// How many matches the engine highlights at most.
constexpr guint kMostMatches = 1000;

// The page's scripts cannot see or change what the bar keeps in its own world.
constexpr const char* kScriptWorld = "lumivant-find-bar";
// What had the page's keyboard as the bar opened: its focused element and
// where the caret was.
constexpr const char* kRememberFocus = R"js(
globalThis.beforeFinding = {
  element: document.activeElement,
  range: getSelection().rangeCount ? getSelection().getRangeAt(0).cloneRange() : null,
};
)js";
// A match the engine found is the page's selection, outside the field that
// still has the focus: the field shows its caret but takes no typing. The
// caret goes back into that field: a text field's own, or the one an
// editable element had. Without a focused field the match stays selected, to
// be copied.
constexpr const char* kGiveBackFocus = R"js(
(() => {
  const kept = globalThis.beforeFinding;
  globalThis.beforeFinding = null;
  const element = document.activeElement;
  if (!kept || !element || element !== kept.element) return;
  if (element.selectionStart !== undefined && element.selectionStart !== null) {
    element.setSelectionRange(element.selectionStart, element.selectionEnd,
                              element.selectionDirection);
  } else if (element.isContentEditable && kept.range) {
    getSelection().removeAllRanges();
    getSelection().addRange(kept.range);
  }
})();
)js";

void runInOwnWorld(WebKitWebView* view, const char* script) {
  webkit_web_view_evaluate_javascript(view, script, -1, kScriptWorld, nullptr, nullptr, nullptr,
                                      nullptr);
}

GtkWidget* button(const char* label, GCallback clicked, gpointer self) {
  GtkWidget* widget = gtk_button_new_with_label(label);
  gtk_widget_set_can_focus(widget, FALSE);  // the field keeps the focus
  g_signal_connect(widget, "clicked", clicked, self);
  return widget;
}

}  // namespace

GtkFindBar::GtkFindBar(WebKitWebView* view)
    : view_(view), finder_(webkit_web_view_get_find_controller(view)) {
  bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  g_object_ref_sink(bar_);
  gtk_container_set_border_width(GTK_CONTAINER(bar_), 4);
  entry_ = gtk_search_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), "在页面中查找");
  gtk_entry_set_width_chars(GTK_ENTRY(entry_), 28);
  // Read by assistive technology as the field's name; the search entry's
  // own default ("搜索") does not say what is searched.
  atk_object_set_name(gtk_widget_get_accessible(entry_), "在页面中查找");
  notFound_ = gtk_label_new("找不到");
  // A notification is spoken when it shows, wherever the focus is: "找不到"
  // is heard while typing in the field.
  AtkObject* notFound = gtk_widget_get_accessible(notFound_);
  atk_object_set_role(notFound, ATK_ROLE_NOTIFICATION);
  atk_object_set_name(notFound, "找不到");
  gtk_box_pack_start(GTK_BOX(bar_), entry_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), button("上一个", G_CALLBACK(onPrevious), this), FALSE, FALSE,
                     0);
  gtk_box_pack_start(GTK_BOX(bar_), button("下一个", G_CALLBACK(onNext), this), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), notFound_, FALSE, FALSE, 6);
  gtk_widget_show_all(bar_);
  gtk_widget_hide(notFound_);
  gtk_widget_set_no_show_all(notFound_, TRUE);
  gtk_widget_hide(bar_);
  gtk_widget_set_no_show_all(bar_, TRUE);

  g_signal_connect(entry_, "search-changed", G_CALLBACK(onSearchChanged), this);
  g_signal_connect(entry_, "key-press-event", G_CALLBACK(onKeyPress), this);
  g_signal_connect(entry_, "stop-search", G_CALLBACK(onStopSearch), this);
  g_signal_connect(finder_, "found-text", G_CALLBACK(onFound), this);
  g_signal_connect(finder_, "failed-to-find-text", G_CALLBACK(onNotFound), this);
}

// The bar's own widgets go with it; the view, and its find controller, may
// outlive the bar.
GtkFindBar::~GtkFindBar() {
  g_signal_handlers_disconnect_by_data(finder_, this);
  g_object_unref(bar_);
}

void GtkFindBar::reveal() {
  if (!isShown()) {
    GtkWidget* window = gtk_widget_get_toplevel(bar_);
    if (GTK_IS_WINDOW(window) && gtk_window_get_focus(GTK_WINDOW(window)) == GTK_WIDGET(view_)) {
      runInOwnWorld(view_, kRememberFocus);
    }
    gtk_widget_show(bar_);
  }
  gtk_widget_grab_focus(entry_);  // selects the field's text as well
}

void GtkFindBar::show() {
  reveal();
  search();
}

void GtkFindBar::findAgain(bool forward) {
  const char* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (!text || !*text) return show();
  // Where the bar is open the focus stays where it is, in the page too.
  if (!isShown()) reveal();
  // From the match the page kept when the bar closed, not from the top.
  step(forward);
}

void GtkFindBar::close() {
  if (!isShown()) return;
  webkit_find_controller_search_finish(finder_);
  gtk_widget_hide(notFound_);
  gtk_widget_hide(bar_);
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  runInOwnWorld(view_, kGiveBackFocus);
}

void GtkFindBar::search() {
  const char* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (!text || !*text) {
    webkit_find_controller_search_finish(finder_);
    gtk_widget_hide(notFound_);
    return;
  }
  webkit_find_controller_search(finder_, text, kFindOptions, kMostMatches);
}

void GtkFindBar::step(bool forward) {
  const char* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (!text || !*text) return;
  // A search of other text than the field's (after the page changed) starts afresh.
  const char* current = webkit_find_controller_get_search_text(finder_);
  if (!current || g_strcmp0(current, text) != 0) return search();
  if (forward) {
    webkit_find_controller_search_next(finder_);
  } else {
    webkit_find_controller_search_previous(finder_);
  }
}

void GtkFindBar::onSearchChanged(GtkSearchEntry*, gpointer self) {
  auto* bar = static_cast<GtkFindBar*>(self);
  // The entry reports typing a moment later: typing closed at once by Escape
  // must not select a match in the page the keyboard has gone back to.
  if (bar->isShown()) bar->search();
}

gboolean GtkFindBar::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* bar = static_cast<GtkFindBar*>(self);
  const bool shift = (event->state & GDK_SHIFT_MASK) != 0;
  // Return finds the next match, with Shift the one before; F3 and Ctrl+G
  // are the menu's, and work from the page as well.
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      bar->step(!shift);
      return TRUE;
    case GDK_KEY_Escape:
      bar->close();
      return TRUE;
    default:
      return FALSE;
  }
}

void GtkFindBar::onStopSearch(GtkSearchEntry*, gpointer self) {
  static_cast<GtkFindBar*>(self)->close();
}

void GtkFindBar::onPrevious(GtkButton*, gpointer self) {
  static_cast<GtkFindBar*>(self)->step(false);
}

void GtkFindBar::onNext(GtkButton*, gpointer self) { static_cast<GtkFindBar*>(self)->step(true); }

void GtkFindBar::onFound(WebKitFindController*, guint, gpointer self) {
  gtk_widget_hide(static_cast<GtkFindBar*>(self)->notFound_);
}

void GtkFindBar::onNotFound(WebKitFindController*, gpointer self) {
  gtk_widget_show(static_cast<GtkFindBar*>(self)->notFound_);
}

}  // namespace lumivant::gtk
