#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/JsonDocument.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// What the shell does with a page's request.
enum class PermissionDecision { allow, deny, ask };

// Only the app's own pages may be given anything, and each request is asked
// once per data root: a remembered answer stands, and without one the user is
// asked.
PermissionDecision permissionDecision(bool fromAppPage, std::optional<bool> remembered);

// The question the user is asked for a kind of request, in the sheet whose
// buttons are "允许" and "不允许".
std::string permissionQuestion(PermissionKind kind);

// The answers each data root's user gave, kept in the shell's own state beside
// the page zoom: a JSON object from data root to an object from request kind
// to true or false, in "page-permissions.json".
class PermissionMemory {
 public:
  PermissionMemory(const std::string& stateDirectory, const std::string& dataRoot);

  // The answer kept for kind; nothing when there is none or the file is
  // missing or damaged.
  std::optional<bool> recall(PermissionKind kind) const;
  // Keeps the answer beside the root's others. One that cannot be written is
  // asked again at the next launch.
  void remember(PermissionKind kind, bool allow) const;

 private:
  JsonObjectFile file_;
  std::string key_;
};

// Answers the page's requests for notifications, the location, the camera and
// the microphone, and hands the notifications of an app page that may show
// them to the desktop under the application's name and icon.
class PagePermissions final : public PermissionDelegate {
 public:
  PagePermissions(Host& host, Window& window, PermissionMemory memory,
                  DesktopNotification application);

  // Whether url is one of the app's own pages.
  std::function<bool(const std::string& url)> isAppAddress;

  void decidePermission(const PermissionRequest& request,
                        std::function<void(bool allow)> completion) override;
  bool showNotification(const PageNotification& notification) override;

 private:
  using Completion = std::function<void(bool allow)>;
  bool fromAppPage(const std::string& url) const { return isAppAddress && isAppAddress(url); }
  void ask(PermissionKind kind, Completion completion);

  Host& host_;
  Window& window_;
  const PermissionMemory memory_;
  // The application's name and icon, which every notification carries.
  const DesktopNotification application_;
  // The requests waiting for each question that is open: a page that asks
  // again meanwhile gets the same answer instead of a second question.
  std::map<PermissionKind, std::vector<Completion>> waiting_;
};

}  // namespace lumivant
