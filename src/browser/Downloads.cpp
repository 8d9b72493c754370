// Where a download is saved, chosen by the user in a save panel on the main
// window, and the alert for a download that failed.

#include "browser/Downloads.h"

#include "app/AppDelegate.h"

namespace lumivant {

std::string lastPathComponent(std::string_view path) {
  const size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return {};
  const size_t slash = path.find_last_of('/', end);
  const size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
  return std::string(path.substr(begin, end + 1 - begin));
}

void AppDelegate::decideDownloadDestination(
    const std::string& suggestedFilename,
    std::function<void(std::optional<std::string>)> completion) {
  if (!window) {
    completion(std::nullopt);  // nowhere to ask: the download is abandoned
    return;
  }
  const SavePanelSheet panel{std::string(kSavePanelTitle), lastPathComponent(suggestedFilename),
                             /*canCreateDirectories=*/true};
  // The panel's answer is handed on as it is: a chosen path, or nothing.
  window->beginSavePanelSheet(panel, std::move(completion));
}

void AppDelegate::downloadDidFail(const DownloadError& error) {
  // A download cancelled by the page or abandoned at the save panel is no failure.
  if (error.code == kDownloadCancelledCode) return;
  if (!window) return;
  window->beginAlertSheet(
      AlertSheet{std::string(kDownloadFailedMessage), error.localizedDescription, {}}, [](long) {});
}

}  // namespace lumivant
