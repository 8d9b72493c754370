#include "browser/Downloads.h"

namespace lumivant {

void Downloads::decideDestination(const std::string& suggestedFilename,
                                  std::function<void(std::optional<std::string>)> completion) {
  const SavePanelSheet panel{std::string(kSavePanelTitle), lastPathComponent(suggestedFilename),
                             /*canCreateDirectories=*/true};
  // The panel's answer is handed on as it is: a chosen path, or nothing.
  window_.beginSavePanelSheet(panel, std::move(completion));
}

void Downloads::didBegin(DownloadId id, const std::string& destinationPath,
                         std::function<void()> cancel) {
  inFlight_.begin(id, destinationPath, std::move(cancel));
  window_.showDownloadRows(inFlight_.rows());
}

void Downloads::didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  if (inFlight_.progress(id, receivedBytes, expectedBytes))
    window_.showDownloadRows(inFlight_.rows());
}

// A finished download announces nothing: its row simply goes.
void Downloads::didEnd(DownloadId id) {
  if (inFlight_.end(id)) window_.showDownloadRows(inFlight_.rows());
}

void Downloads::didFail(const DownloadError& error) {
  // A download cancelled by the page or abandoned at the save panel is no failure.
  if (error.code == kDownloadCancelledCode) return;
  window_.beginAlertSheet(
      AlertSheet{std::string(kDownloadFailedMessage), error.localizedDescription, {}}, [](long) {});
}

}  // namespace lumivant
