#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/WebViewDelegate.h"

namespace lumivant::testing {

// Answers every concern of the view at once: records what the host reports
// and answers with the policies a test sets. Asynchronous requests keep their
// completions for the test to answer.
class RecordingWebViewDelegate : public NavigationDelegate,
                                 public DownloadDelegate,
                                 public ScriptDialogDelegate,
                                 public PageLoadDelegate,
                                 public PermissionDelegate {
 public:
  WebViewDelegates delegates() { return {*this, *this, *this, *this, *this}; }

  NavigationActionPolicy actionPolicy = NavigationActionPolicy::allow;
  NavigationResponsePolicy responsePolicy = NavigationResponsePolicy::allow;

  std::vector<NavigationAction> actions;
  std::vector<NavigationResponse> responses;
  std::vector<NavigationAction> newWindows;
  std::vector<NavigationAction> standInNavigations;
  bool giveStandIns = false;
  std::vector<std::pair<ContextMenuItem, std::optional<std::string>>> contextMenuItems;
  std::vector<std::string> chosenLinks;
  std::vector<bool> windowCloses;  // what createWebViewFor answers
  std::vector<std::string> suggestedFilenames;
  std::vector<bool> downloadGestures;
  std::function<void(std::optional<std::string>)> destination;
  std::vector<DownloadError> downloadFailures;
  std::vector<std::string> alerts;
  std::function<void()> alertDone;
  std::vector<std::string> confirms;
  std::function<void(bool)> confirmDone;
  std::vector<std::pair<std::string, std::string>> prompts;  // message, default text
  std::function<void(std::optional<std::string>)> promptDone;
  int beforeUnloadConfirms = 0;
  std::function<void(bool)> beforeUnloadDone;
  struct DownloadEvent {
    std::string what;  // "begin", "data" or "end"
    DownloadId id = 0;
    std::string path;
    uint64_t received = 0;
    uint64_t expected = 0;
  };
  std::vector<DownloadEvent> downloadEvents;
  std::function<void()> cancelDownload;
  std::vector<OpenPanelParameters> openPanels;
  std::function<void(std::optional<std::vector<std::string>>)> openPanelDone;
  int finishedNavigations = 0;

  NavigationActionPolicy decideAction(const NavigationAction& action) override {
    actions.push_back(action);
    return actionPolicy;
  }
  NavigationResponsePolicy decideResponse(const NavigationResponse& response) override {
    responses.push_back(response);
    return responsePolicy;
  }
  bool createWebViewFor(const NavigationAction& action) override {
    newWindows.push_back(action);
    return giveStandIns;
  }
  void openedWindowNavigation(const NavigationAction& action) override {
    standInNavigations.push_back(action);
  }
  ContextMenuChoice decideContextMenuItem(ContextMenuItem item,
                                          const std::optional<std::string>& address) override {
    contextMenuItems.emplace_back(item, address);
    return {};
  }
  void openLinkChosen(const std::string& url, GestureId) override { chosenLinks.push_back(url); }
  void pageClosedItsWindow(bool afterUserGesture) override {
    windowCloses.push_back(afterUserGesture);
  }
  void decideDestination(DownloadId, const std::string& suggestedFilename, bool byUserGesture,
                         std::function<void(std::optional<std::string>)> done) override {
    suggestedFilenames.push_back(suggestedFilename);
    downloadGestures.push_back(byUserGesture);
    destination = std::move(done);
  }
  void didFail(DownloadId, const DownloadError& error) override {
    downloadFailures.push_back(error);
  }
  void runJavaScriptAlert(const std::string& message, std::function<void()> done) override {
    alerts.push_back(message);
    alertDone = std::move(done);
  }
  void runJavaScriptConfirm(const std::string& message, std::function<void(bool)> done) override {
    confirms.push_back(message);
    confirmDone = std::move(done);
  }
  void didBegin(DownloadId id, const std::string& path, std::function<void()> cancel) override {
    downloadEvents.push_back({"begin", id, path, 0, 0});
    cancelDownload = std::move(cancel);
  }
  void didReceiveData(DownloadId id, uint64_t received, uint64_t expected) override {
    downloadEvents.push_back({"data", id, {}, received, expected});
  }
  void didEnd(DownloadId id, uint64_t received, uint64_t expected) override {
    downloadEvents.push_back({"end", id, {}, received, expected});
  }
  void runJavaScriptTextInput(const std::string& message, const std::string& defaultText,
                              std::function<void(std::optional<std::string>)> done) override {
    prompts.emplace_back(message, defaultText);
    promptDone = std::move(done);
  }
  void runBeforeUnloadConfirm(std::function<void(bool)> done) override {
    ++beforeUnloadConfirms;
    beforeUnloadDone = std::move(done);
  }
  void runOpenPanel(const OpenPanelParameters& parameters,
                    std::function<void(std::optional<std::vector<std::string>>)> done) override {
    openPanels.push_back(parameters);
    openPanelDone = std::move(done);
  }
  void didCommit(const std::string& url) override { commits.push_back(url); }
  std::vector<std::string> commits;
  void didFinish() override { ++finishedNavigations; }
  void didFail(const NavigationFailure& failure) override { failures.push_back(failure); }
  std::vector<NavigationFailure> failures;
  void webContentProcessDidTerminate() override {}
  void backForwardListDidChange() override {}
  void decidePermission(const PermissionRequest& request, std::function<void(bool)> done) override {
    permissionRequests.push_back(request);
    permissionDone = std::move(done);
  }
  std::vector<PermissionRequest> permissionRequests;
  std::function<void(bool)> permissionDone;
  bool showNotification(const PageNotification& notification) override {
    notifications.push_back(notification);
    return true;
  }
  std::vector<PageNotification> notifications;
};

}  // namespace lumivant::testing
