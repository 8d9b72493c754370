#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>

#include "GObjectPtr.h"
#include "LoadTimeout.h"
#include "LoopbackConfinement.h"
#include "OpenedWindowStandIns.h"
#include "PressGestures.h"
#include "UserGestureMemory.h"
#include "WebContentSandbox.h"
#include "WebProcessWarmUp.h"
#include "host/Host.h"
#include "host/MainMenu.h"
#include "host/WebViewDelegate.h"

namespace lumivant::gtk {

// One WebKitWebView on a persistent website data store of its own. Its
// signal handlers are trampolines: they read the engine's request into the
// core's plain values, ask the delegate for that concern and hand its answer
// back.
class GtkWebView final : public WebView, public std::enable_shared_from_this<GtkWebView> {
 public:
  // The web process loads the modules in webProcessModules, the bundle's
  // PageScripts among them, which evaluates the view's scripts; without it
  // (an empty or missing directory) they are evaluated in this process. The
  // sandbox check is the one started early in the launch, or one of its own.
  explicit GtkWebView(const WebsiteDataStore& store, const std::string& webProcessModules = {},
                      WebContentSandboxCheck* sandboxCheck = nullptr);
  ~GtkWebView() override;
  GtkWebView(const GtkWebView&) = delete;
  GtkWebView& operator=(const GtkWebView&) = delete;

  GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }
  WebKitWebView* view() const { return view_.get(); }

  // Connects the engine's signals: before, the view reports nothing.
  void setDelegates(const WebViewDelegates& delegates) override;
  void load(const Request& request) override;
  void loadHTMLString(const std::string& html) override;
  void evaluateJavaScript(const std::string& script,
                          std::function<void(std::optional<std::string>)> completion) override;
  void setDrawsBackground(bool draws) override;
  void reload() override;
  void tryClose(std::function<void()> mayGo) override;
  BackForwardItems backForwardItems() const override;
  void goBackOrForward(int steps) override;
  void setZoomLevel(double level) override;
  void print() override;
  void enableDeveloperTools() override;
  void showDeveloperTools() override;
  void confineToBackend(const BackendConfinement& confinement,
                        std::function<void(std::optional<std::string> error)> done) override;
  void liftConfinement(const std::string& cookieName) override;

  // Whether the web process runs, started before any page was asked for;
  // false again once the view has loaded a page of its own.
  bool isWebProcessWarm() const { return warmUp_ && warmUp_->isWebProcessRunning(); }

  // The menu bar's actions, which the page's context menu offers too (back,
  // forward, reload): carried out, and whether each can act now.
  struct MenuActions {
    std::function<void(MenuAction)> perform;
    std::function<bool(MenuAction)> isEnabled;
  };
  void setMenuActions(MenuActions actions) { menuActions_ = std::move(actions); }

  // One of WebKit's editing commands (WEBKIT_EDITING_COMMAND_COPY and so on),
  // acting on the page's focused field or selection.
  void executeEditingCommand(const char* command);

 private:
  // Navigation actions, responses and new windows: WebViewPolicySignals.cpp.
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  // Tells the user's presses apart, so that each action names its gesture;
  // also given the key releases and the loss of focus.
  static gboolean onUserInput(GtkWidget*, GdkEvent* event, gpointer self);
  // The action as the delegate sees it: a user's gesture carries its id.
  NavigationAction withGesture(NavigationAction action) const;

  // The page's context menu: WebViewContextMenu.cpp.
  static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                WebKitHitTestResult* hit, gpointer self);
  static void onContextMenuItemChosen(GSimpleAction*, GVariant*, gpointer chosen);

  // A page's window.close(), handed to the shell: WebViewWindowClose.cpp.
  void installWindowCloseScript();
  static void onWindowCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*,
                                   gpointer self);

  // Downloads: WebViewDownloadSignals.cpp.
  static void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self);
  static gboolean onDecideDestination(WebKitDownload* download, gchar* suggestedFilename,
                                      gpointer weakSelf);
  static void onDownloadFailed(WebKitDownload*, GError* error, gpointer weakSelf);
  static void onCreatedDestination(WebKitDownload* download, gchar* destination, gpointer weakSelf);
  static void onReceivedData(WebKitDownload* download, guint64, gpointer weakSelf);
  static void onDownloadFinished(WebKitDownload*, gpointer weakSelf);
  static void onClose(WebKitWebView*, gpointer self);

  // Script dialogs, the file chooser and finished loads: WebViewPageSignals.cpp.
  static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
  static gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                   gpointer self);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                               gpointer self);
  static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                     gpointer self);
  // Permissions and notifications: WebViewPermissionSignals.cpp.
  static gboolean onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                      gpointer self);
  static gboolean onShowNotification(WebKitWebView* view, WebKitNotification* notification,
                                     gpointer self);
  static void onBackForwardListChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                       gpointer self);

  // Set once, before anything is loaded; every signal handler reports here.
  std::optional<WebViewDelegates> delegates_;
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitWebView> view_;
  OpenedWindowStandIns standIns_;
  // The user's gestures, from the key and button presses the view received.
  PressGestures presses_;
  // The last gesture before the page now shown was committed.
  GestureId gestureAtCommit_ = 0;
  MenuActions menuActions_;
  // WebKitGTK ends a failed load with a finished event too; only a load that
  // did not fail counts as a finished navigation.
  bool currentLoadFailed_ = false;
  std::optional<LoadTimeout> loadTimeout_;          // set once the view is built
  std::optional<LoopbackConfinement> confinement_;  // likewise
  // Until the view's first load has ended.
  std::optional<WebProcessWarmUp> warmUp_;
  // The id the next download is told apart by.
  DownloadId nextDownloadId_ = 1;
  // Which downloads the user started.
  UserGestureMemory userGestures_;
  // What runs once the page has agreed to go, while tryClose waits for it.
  std::function<void()> mayGo_;
};

}  // namespace lumivant::gtk
