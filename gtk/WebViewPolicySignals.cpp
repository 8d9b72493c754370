// Navigation actions, responses and requests for new windows: read into plain
// values, decided by the delegate, answered to the engine.

#include "EngineValues.h"
#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

NavigationAction actionOf(WebKitPolicyDecision* decision) {
  return navigationActionFrom(webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision)));
}

}  // namespace

gboolean GtkWebView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer self) {
  WebViewDelegate& delegate = static_cast<GtkWebView*>(self)->delegate_;
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
      applyNavigationActionPolicy(decision,
                                  delegate.decidePolicyForNavigationAction(actionOf(decision)));
      return TRUE;
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      // The shell never opens a second window; the delegate decides what
      // becomes of the request, and the engine is told to drop it.
      delegate.createWebViewFor(actionOf(decision));
      webkit_policy_decision_ignore(decision);
      return TRUE;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
      applyNavigationResponsePolicy(
          decision, delegate.decidePolicyForNavigationResponse(
                        navigationResponseFrom(WEBKIT_RESPONSE_POLICY_DECISION(decision))));
      return TRUE;
  }
  return FALSE;
}

// window.open() from script reaches here without a new-window decision; a
// new-window link that the policy above ignored never does.
GtkWidget* GtkWebView::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
  static_cast<GtkWebView*>(self)->delegate_.createWebViewFor(navigationActionFrom(action));
  return nullptr;
}

}  // namespace lumivant::gtk
