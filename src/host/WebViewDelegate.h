#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/ContextMenu.h"

namespace lumivant {

// The engine's navigation types, by their WebKit numbers. Only linkActivated is
// ever told apart from the rest.
enum class NavigationType {
  linkActivated = 0,
  formSubmitted,
  backForward,
  reload,
  formResubmitted,
  other = -1
};

// Tells the user's key and button presses apart.
using GestureId = uint64_t;

enum class NavigationActionPolicy { cancel = 0, allow = 1, download = 2 };
enum class NavigationResponsePolicy { allow = 1, download = 2 };

struct NavigationAction {
  // The request's URL as the engine reports it; absent when the request has none.
  std::optional<std::string> url;
  NavigationType navigationType = NavigationType::other;
  // The page asked for a download, for example with a link's download attribute.
  bool shouldPerformDownload = false;
  // The engine saw the user start it, with a click or a key; a link that the
  // page's script activated on its own is no gesture.
  bool isUserGesture = false;
  // Which of the user's key or button presses it came from, as far as the view
  // can tell (the last one it received); 0 when unknown.
  GestureId gesture = 0;
};

struct NavigationResponse {
  bool canShowMIMEType = true;
  // The response's Content-Disposition header as sent, when it has one.
  std::optional<std::string> contentDisposition;
};

struct DownloadError {
  long code = 0;
  std::string localizedDescription;
};
// Tells one download apart from the others while it is in flight.
using DownloadId = uint64_t;
// The code of a download that was cancelled, by the page or at the save dialog.
inline constexpr long kDownloadCancelledCode = -999;

// How a main-frame load ended without finishing.
struct NavigationFailure {
  enum class Kind {
    error,          // the engine could not load it; description says why
    timedOut,       // the request had no answer within its time-out and was stopped
    cancelled,      // another load took its place
    becameDownload  // its answer is saved as a download instead of shown
  };
  Kind kind = Kind::error;
  std::string description;  // the engine's description of the error
  std::string url;          // the address that was being loaded
};

struct OpenPanelParameters {
  bool allowsMultipleSelection = false;
  bool allowsDirectories = false;
};

// The web view's questions and reports, one interface per concern, each
// answered by the component that owns that concern. Every call arrives on the
// main thread; every completion must be called exactly once.

// Where the view may go: every navigation, response and new-window request.
class NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;
  virtual NavigationActionPolicy decideAction(const NavigationAction& action) = 0;
  virtual NavigationResponsePolicy decideResponse(const NavigationResponse& response) = 0;
  // A request for a new window. The shell never shows one. True gives the page
  // a stand-in: a window that is never shown, whose first navigation goes to
  // openedWindowNavigation and which then goes away.
  virtual bool createWebViewFor(const NavigationAction& action) = 0;
  // The first navigation of a stand-in, other than to about:blank. Its
  // gesture is the one that opened the stand-in.
  virtual void openedWindowNavigation(const NavigationAction& action) = 0;
  // How the page's context menu offers one of the engine's items; address is
  // the link, image or media the item acts on, when it acts on one.
  virtual ContextMenuChoice decideContextMenuItem(ContextMenuItem item,
                                                  const std::optional<std::string>& address) = 0;
  // The user chose to open the link to url from the page's context menu; the
  // choice is the gesture.
  virtual void openLinkChosen(const std::string& url, GestureId gesture) = 0;
  // The page called window.close(); afterUserGesture: the user has pressed a
  // key or button on the page since it was shown.
  virtual void pageClosedItsWindow(bool afterUserGesture) = 0;
};

// The view's downloads, from the question where to save one to its end.
class DownloadDelegate {
 public:
  virtual ~DownloadDelegate() = default;
  // Gives the path of the file to write the download to, or nothing to
  // abandon the download. The view creates that file itself and never
  // replaces one that stands there already.
  // byUserGesture: the user's click or key started it, not the page on its own.
  virtual void decideDestination(DownloadId id, const std::string& suggestedFilename,
                                 bool byUserGesture,
                                 std::function<void(std::optional<std::string>)> completion) = 0;
  // A download's life once its destination file exists: its progress, with an
  // expected size of 0 while the size is unknown (the response announced
  // none), and its end, whether it finished, failed or was cancelled, with the
  // bytes written by then. The file is complete when the end comes without a
  // failure. cancel stops the download, which then ends as cancelled.
  virtual void didBegin(DownloadId id, const std::string& destinationPath,
                        std::function<void()> cancel) = 0;
  virtual void didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) = 0;
  virtual void didEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) = 0;
  virtual void didFail(DownloadId id, const DownloadError& error) = 0;
};

// The page's own dialogs: alert, confirm, prompt, leave-page and file input.
class ScriptDialogDelegate {
 public:
  virtual ~ScriptDialogDelegate() = default;
  virtual void runJavaScriptAlert(const std::string& message, std::function<void()> completion) = 0;
  virtual void runJavaScriptConfirm(const std::string& message,
                                    std::function<void(bool)> completion) = 0;
  // Gives the text entered, or nothing when the page's prompt was cancelled.
  virtual void runJavaScriptTextInput(
      const std::string& message, const std::string& defaultText,
      std::function<void(std::optional<std::string>)> completion) = 0;
  // Asked before the page is left while it may hold unsaved changes: true leaves.
  virtual void runBeforeUnloadConfirm(std::function<void(bool leave)> completion) = 0;
  virtual void runOpenPanel(
      const OpenPanelParameters& parameters,
      std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;
};

// The course of the view's main-frame loads and of the process behind them.
class PageLoadDelegate {
 public:
  virtual ~PageLoadDelegate() = default;
  // A load has its first answer and begins to show; url is the view's address now.
  virtual void didCommit(const std::string& url) = 0;
  virtual void didFinish() = 0;
  // A load ended without finishing.
  virtual void didFail(const NavigationFailure& failure) = 0;
  // The process that ran the view's pages has ended (a crash, the memory limit,
  // killed); the view shows nothing live until it loads again.
  virtual void webContentProcessDidTerminate() = 0;
  // The steps the view could go back or forward to have changed.
  virtual void backForwardListDidChange() = 0;
};

// What a page may ask to use beyond its own window.
enum class PermissionKind { notifications, location, camera, microphone, cameraAndMicrophone };

struct PermissionRequest {
  PermissionKind kind = PermissionKind::notifications;
  // The address of the page that asked: the engine names no other origin.
  std::string pageUrl;
};

// A notification the page shows with the Notification API.
struct PageNotification {
  std::string title;
  std::string body;
  std::string pageUrl;
};

// The page's requests for the user's desktop and devices, and its notifications.
class PermissionDelegate {
 public:
  virtual ~PermissionDelegate() = default;
  virtual void decidePermission(const PermissionRequest& request,
                                std::function<void(bool allow)> completion) = 0;
  // True when the shell took the notification, shown or refused; false
  // leaves it to the engine.
  virtual bool showNotification(const PageNotification& notification) = 0;
};

// The components that answer the view, by concern. Each outlives the view.
struct WebViewDelegates {
  NavigationDelegate& navigation;
  DownloadDelegate& downloads;
  ScriptDialogDelegate& scriptDialogs;
  PageLoadDelegate& pageLoads;
  PermissionDelegate& permissions;
};

}  // namespace lumivant
