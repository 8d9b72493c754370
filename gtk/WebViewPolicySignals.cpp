// Navigation actions, responses and requests for new windows: read into plain
// values, decided by the navigation delegate, answered to the engine.

#include "GtkWebView.h"
#include "WebKitConversions.h"

namespace lumivant::gtk {

namespace {

NavigationAction actionOf(WebKitPolicyDecision* decision) {
  return navigationActionFrom(webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision)));
}

}  // namespace

gboolean GtkWebView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  NavigationDelegate& navigation = view->delegates_->navigation;
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
      const NavigationAction action = view->withGesture(actionOf(decision));
      view->userGestures_.navigationStarted(action.url.value_or(""), action.isUserGesture);
      applyNavigationActionPolicy(decision, navigation.decideAction(action));
      return TRUE;
    }
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      // A link or form meant for a new window: the delegate decides what
      // becomes of it, and the engine is told to drop it, so no window is
      // asked for. Stand-ins are for windows that script opens.
      navigation.createWebViewFor(view->withGesture(actionOf(decision)));
      webkit_policy_decision_ignore(decision);
      return TRUE;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
      applyNavigationResponsePolicy(decision, navigation.decideResponse(navigationResponseFrom(
                                                  WEBKIT_RESPONSE_POLICY_DECISION(decision))));
      return TRUE;
  }
  return FALSE;
}

// window.open() from script reaches here without a new-window decision; a
// new-window link that the policy above ignored never does.
GtkWidget* GtkWebView::onCreate(WebKitWebView* engineView, WebKitNavigationAction* action,
                                gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  const NavigationAction request = view->withGesture(navigationActionFrom(action));
  if (!view->delegates_->navigation.createWebViewFor(request)) return nullptr;
  return view->standIns_.open(engineView, request.gesture);
}

gboolean GtkWebView::onUserInput(GtkWidget*, GdkEvent* event, gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  const guint32 time = gdk_event_get_time(event);
  if (time != view->lastInputTime_ || view->lastGesture_ == 0) {
    view->lastInputTime_ = time;
    ++view->lastGesture_;
  }
  return FALSE;  // the view handles it as ever
}

NavigationAction GtkWebView::withGesture(NavigationAction action) const {
  // The engine reports the gesture after the press that made it, so the last
  // press the view received is the one.
  if (action.isUserGesture) action.gesture = lastGesture_;
  return action;
}

}  // namespace lumivant::gtk
