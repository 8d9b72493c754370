#include "browser/PagePermissions.h"

#include <utility>

#include "base/PathJoin.h"

namespace lumivant {

namespace {

const char* memoryName(PermissionKind kind) {
  switch (kind) {
    case PermissionKind::notifications:
      return "notifications";
    case PermissionKind::location:
      return "location";
    case PermissionKind::camera:
      return "camera";
    case PermissionKind::microphone:
      return "microphone";
    case PermissionKind::cameraAndMicrophone:
      return "camera-and-microphone";
  }
  return "unknown";
}

}  // namespace

PermissionDecision permissionDecision(bool fromAppPage, std::optional<bool> remembered) {
  if (!fromAppPage) return PermissionDecision::deny;
  if (!remembered) return PermissionDecision::ask;
  return *remembered ? PermissionDecision::allow : PermissionDecision::deny;
}

std::string permissionQuestion(PermissionKind kind) {
  switch (kind) {
    case PermissionKind::notifications:
      return "允许这个应用显示通知吗？";
    case PermissionKind::location:
      return "允许这个应用获取你的位置吗？";
    case PermissionKind::camera:
      return "允许这个应用使用摄像头吗？";
    case PermissionKind::microphone:
      return "允许这个应用使用麦克风吗？";
    case PermissionKind::cameraAndMicrophone:
      return "允许这个应用使用摄像头和麦克风吗？";
  }
  return {};
}

PermissionMemory::PermissionMemory(const std::string& stateDirectory, const std::string& dataRoot)
    : file_(joinPath(stateDirectory, "page-permissions.json")), key_(dataRootJsonKey(dataRoot)) {}

std::optional<bool> PermissionMemory::recall(PermissionKind kind) const {
  const nlohmann::json answers = file_.value(key_);
  if (!answers.is_object()) return std::nullopt;
  const auto answer = answers.find(memoryName(kind));
  if (answer == answers.end() || !answer->is_boolean()) return std::nullopt;
  return answer->get<bool>();
}

void PermissionMemory::remember(PermissionKind kind, bool allow) const {
  // Only this data root's shell writes its entry, and one shell runs per data
  // root, so reading it first loses nobody's answer.
  nlohmann::json answers = file_.value(key_);
  if (!answers.is_object()) answers = nlohmann::json::object();
  answers[memoryName(kind)] = allow;
  (void)file_.setValue(key_, std::move(answers));
}

PagePermissions::PagePermissions(Host& host, Window& window, PermissionMemory memory,
                                 DesktopNotification application)
    : host_(host),
      window_(window),
      memory_(std::move(memory)),
      application_(std::move(application)) {}

void PagePermissions::decidePermission(const PermissionRequest& request, Completion completion) {
  switch (permissionDecision(fromAppPage(request.pageUrl), memory_.recall(request.kind))) {
    case PermissionDecision::allow:
      return completion(true);
    case PermissionDecision::deny:
      return completion(false);
    case PermissionDecision::ask:
      return ask(request.kind, std::move(completion));
  }
}

void PagePermissions::ask(PermissionKind kind, Completion completion) {
  std::vector<Completion>& waiting = waiting_[kind];
  waiting.push_back(std::move(completion));
  if (waiting.size() > 1) return;  // its question is open already
  AlertSheet question{permissionQuestion(kind), {}, {"允许", "不允许"}};
  window_.beginAlertSheet(question, [this, kind](long response) {
    const bool allow = response == kAlertFirstButtonReturn;
    // A sheet closed without a button leaves the question for another time.
    if (response == kAlertFirstButtonReturn || response == kAlertFirstButtonReturn + 1) {
      memory_.remember(kind, allow);
    }
    for (Completion& answer : std::exchange(waiting_[kind], {})) answer(allow);
  });
}

bool PagePermissions::showNotification(const PageNotification& notification) {
  // A page the user did not allow gets nothing shown, not even by the engine.
  if (permissionDecision(fromAppPage(notification.pageUrl),
                         memory_.recall(PermissionKind::notifications)) !=
      PermissionDecision::allow)
    return true;
  DesktopNotification shown = application_;
  shown.title = notification.title;
  shown.body = notification.body;
  host_.showDesktopNotification(shown);
  return true;
}

}  // namespace lumivant
