#include "OpenedWindowStandIns.h"

#include <algorithm>
#include <utility>

#include "WebKitConversions.h"

namespace lumivant::gtk {

namespace {

bool isBlank(const NavigationAction& action) { return !action.url || *action.url == "about:blank"; }

}  // namespace

OpenedWindowStandIns::OpenedWindowStandIns(Navigation navigated)
    : navigated_(std::move(navigated)) {}

OpenedWindowStandIns::~OpenedWindowStandIns() {
  if (removal_) g_source_remove(removal_);
  while (!standIns_.empty()) remove(standIns_.front()->view.get());
}

GtkWidget* OpenedWindowStandIns::open(WebKitWebView* opener, GestureId gesture) {
  if (standIns_.size() >= kMaximum) remove(standIns_.front()->view.get());
  // Related to the opener, as the engine requires of a view returned from
  // "create"; never added to a window.
  GtkWidget* widget = webkit_web_view_new_with_related_view(opener);
  auto view = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
  g_object_unref(widget);  // the sunk floating reference; view keeps one
  auto& standIn =
      standIns_.emplace_back(std::make_unique<StandIn>(StandIn{this, std::move(view), gesture}));
  WebKitWebView* raw = standIn->view.get();
  g_signal_connect(raw, "decide-policy", G_CALLBACK(onDecidePolicy), standIn.get());
  g_signal_connect(raw, "create", G_CALLBACK(onCreate), standIn.get());
  g_signal_connect(raw, "close", G_CALLBACK(onClose), standIn.get());
  // What the page might still do with the window (w.alert(), a file input
  // written into w.document) would show the engine's own dialogs, a second
  // window after all: dialogs are dismissed, file choosers cancelled.
  g_signal_connect(raw, "script-dialog", G_CALLBACK(onScriptDialog), standIn.get());
  g_signal_connect(raw, "run-file-chooser", G_CALLBACK(onRunFileChooser), standIn.get());
  // standIns_ holds the view's one reference for as long as it stands in.
  return widget;
}

gboolean OpenedWindowStandIns::onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                              WebKitPolicyDecisionType type, gpointer data) {
  auto* standIn = static_cast<StandIn*>(data);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  NavigationAction action =
      navigationActionFrom(webkit_navigation_policy_decision_get_navigation_action(
          WEBKIT_NAVIGATION_POLICY_DECISION(decision)));
  // The empty document a window starts with.
  if (isBlank(action)) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  webkit_policy_decision_ignore(decision);
  action.gesture = standIn->gesture;
  OpenedWindowStandIns* owner = standIn->owner;
  owner->removeSoon(view);  // before reporting, which may end the owner's opener
  owner->navigated_(action);
  return TRUE;
}

// A stand-in opens nothing in turn.
GtkWidget* OpenedWindowStandIns::onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) {
  return nullptr;
}

gboolean OpenedWindowStandIns::onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer) {
  return TRUE;
}

gboolean OpenedWindowStandIns::onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                                gpointer) {
  webkit_file_chooser_request_cancel(request);
  return TRUE;
}

void OpenedWindowStandIns::onClose(WebKitWebView* view, gpointer data) {
  static_cast<StandIn*>(data)->owner->removeSoon(view);
}

void OpenedWindowStandIns::removeSoon(WebKitWebView* view) {
  if (std::find(leaving_.begin(), leaving_.end(), view) == leaving_.end()) {
    leaving_.push_back(view);
  }
  if (!removal_) removal_ = g_idle_add(onRemoveLater, this);
}

gboolean OpenedWindowStandIns::onRemoveLater(gpointer self) {
  auto* owner = static_cast<OpenedWindowStandIns*>(self);
  owner->removal_ = 0;
  for (WebKitWebView* view : std::exchange(owner->leaving_, {})) owner->remove(view);
  return G_SOURCE_REMOVE;
}

void OpenedWindowStandIns::remove(WebKitWebView* view) {
  const auto found = std::find_if(standIns_.begin(), standIns_.end(), [view](const auto& standIn) {
    return standIn->view.get() == view;
  });
  if (found == standIns_.end()) return;
  std::unique_ptr<StandIn> standIn = std::move(*found);
  standIns_.erase(found);
  leaving_.erase(std::remove(leaving_.begin(), leaving_.end(), view), leaving_.end());
  g_signal_handlers_disconnect_by_data(view, standIn.get());
  gtk_widget_destroy(GTK_WIDGET(view));
}

}  // namespace lumivant::gtk
