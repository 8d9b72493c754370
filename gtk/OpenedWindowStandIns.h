#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <vector>

#include "GObjectPtr.h"
#include "host/WebViewDelegate.h"

namespace lumivant::gtk {

// The web views that stand in for windows a page opened on the user's click.
// None is ever shown. Each lets the page hold a window (w = window.open(''))
// and give it an address; its first navigation other than to about:blank is
// refused in the stand-in and reported instead, and the stand-in then goes
// away. So does one that the page closes, and the oldest when there are too
// many.
class OpenedWindowStandIns {
 public:
  using Navigation = std::function<void(const NavigationAction& action)>;

  // navigated receives each stand-in's first navigation, with the gesture the
  // stand-in was opened by.
  explicit OpenedWindowStandIns(Navigation navigated);
  ~OpenedWindowStandIns();
  OpenedWindowStandIns(const OpenedWindowStandIns&) = delete;
  OpenedWindowStandIns& operator=(const OpenedWindowStandIns&) = delete;

  // A new stand-in related to opener (same web process, same website data),
  // for the engine's "create" signal to return.
  GtkWidget* open(WebKitWebView* opener, GestureId gesture);
  size_t count() const { return standIns_.size(); }

  // The most stand-ins kept at once; a page that keeps opening windows it
  // never uses loses the oldest.
  static constexpr size_t kMaximum = 8;

 private:
  struct StandIn {
    OpenedWindowStandIns* owner;
    GObjectPtr<WebKitWebView> view;
    GestureId gesture;
  };

  static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer standIn);
  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
  static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
  static gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer);
  static void onClose(WebKitWebView* view, gpointer standIn);
  static gboolean onRemoveLater(gpointer self);
  // Drops the stand-in at once when no engine call is on the stack for it,
  // else from the main loop.
  void removeSoon(WebKitWebView* view);
  void remove(WebKitWebView* view);

  Navigation navigated_;
  std::vector<std::unique_ptr<StandIn>> standIns_;
  std::vector<WebKitWebView*> leaving_;
  guint removal_ = 0;
};

}  // namespace lumivant::gtk
