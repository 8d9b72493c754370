// The page's alert, confirm and file-input requests, each answered by a sheet
// on the main window. Every completion is called exactly once, when the sheet
// closes, or at once when there is no window to show a sheet on.

#include "app/AppDelegate.h"

namespace lumivant {

namespace {

constexpr const char* kConfirmButton = "确认";
constexpr const char* kCancelButton = "取消";

}  // namespace

void AppDelegate::runJavaScriptAlert(const std::string& message, std::function<void()> completion) {
  if (!window) {
    completion();
    return;
  }
  window->beginAlertSheet(AlertSheet{message, {}, {}},
                          [completion = std::move(completion)](long) { completion(); });
}

void AppDelegate::runJavaScriptConfirm(const std::string& message,
                                       std::function<void(bool)> completion) {
  if (!window) {
    completion(false);
    return;
  }
  window->beginAlertSheet(AlertSheet{message, {}, {kConfirmButton, kCancelButton}},
                          [completion = std::move(completion)](long response) {
                            completion(response == kAlertFirstButtonReturn);
                          });
}

void AppDelegate::runOpenPanel(
    const OpenPanelParameters& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
  if (!window) {
    completion(std::nullopt);
    return;
  }
  const OpenPanelSheet panel{parameters.allowsMultipleSelection, parameters.allowsDirectories,
                             /*canChooseFiles=*/true};
  // The chosen paths in the panel's order, or no list at all on cancel.
  window->beginOpenPanelSheet(panel, std::move(completion));
}

}  // namespace lumivant
