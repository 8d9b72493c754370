#include "browser/Downloads.h"

#include <filesystem>

namespace lumivant {

namespace {

// Removes what a download wrote under the chosen name; a file that is not
// there is no failure.
void removePartialFile(const std::string& path) {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

void Downloads::decideDestination(const std::string& suggestedFilename, bool byUserGesture,
                                  std::function<void(std::optional<std::string>)> completion) {
  // A page cannot bring up save panels by itself.
  if (!byUserGesture) return completion(std::nullopt);
  Question question{suggestedFilename, std::move(completion)};
  if (panelOpen_) return waiting_.push_back(std::move(question));
  showPanel(std::move(question));
}

void Downloads::showPanel(Question question) {
  panelOpen_ = true;
  const SavePanelSheet panel{std::string(kSavePanelTitle),
                             lastPathComponent(question.suggestedFilename),
                             /*canCreateDirectories=*/true};
  window_.beginSavePanelSheet(
      panel, [this, completion = std::move(question.completion)](std::optional<std::string> path) {
        // The panel's answer is handed on as it is: a chosen path, or nothing.
        completion(std::move(path));
        panelClosed();
      });
}

void Downloads::panelClosed() {
  panelOpen_ = false;
  if (waiting_.empty()) return;
  Question next = std::move(waiting_.front());
  waiting_.pop_front();
  showPanel(std::move(next));
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

void Downloads::didEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  const bool failed = failed_.erase(id) > 0;
  const std::optional<std::string> destination = inFlight_.destinationOf(id);
  if (inFlight_.end(id)) window_.showDownloadRows(inFlight_.rows());
  // A finished download announces nothing. One whose connection ended before
  // the announced size arrived is a failure, however the engine reports it:
  // a truncated file must not look finished.
  if (failed || !destination || !endedShort(receivedBytes, expectedBytes)) return;
  removePartialFile(*destination);
  window_.beginAlertSheet(AlertSheet{std::string(kDownloadFailedMessage),
                                     shortDownloadReason(receivedBytes, expectedBytes),
                                     {}},
                          [](long) {});
}

void Downloads::didFail(DownloadId id, const DownloadError& error) {
  failed_.insert(id);
  // What the download wrote goes with it.
  if (auto destination = inFlight_.destinationOf(id)) removePartialFile(*destination);
  // A download cancelled by the page or abandoned at the save panel is no failure.
  if (error.code == kDownloadCancelledCode) return;
  window_.beginAlertSheet(
      AlertSheet{std::string(kDownloadFailedMessage), error.localizedDescription, {}}, [](long) {});
}

void Downloads::cancelAll() {
  std::deque<Question> waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& question : waiting) question.completion(std::nullopt);
  const std::vector<DownloadRow> rows = inFlight_.rows();
  for (const DownloadRow& row : rows) {
    const std::optional<std::string> destination = inFlight_.destinationOf(row.id);
    inFlight_.end(row.id);
    if (row.cancel) row.cancel();
    if (destination) removePartialFile(*destination);
  }
  if (!rows.empty()) window_.showDownloadRows(inFlight_.rows());
}

}  // namespace lumivant
