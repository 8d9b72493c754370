#include "browser/Downloads.h"

namespace lumivant {

void Downloads::decideDestination(DownloadId id, const std::string& suggestedFilename,
                                  bool byUserGesture,
                                  std::function<void(std::optional<std::string>)> completion) {
  // A page cannot bring up save panels by itself.
  if (!byUserGesture) return completion(std::nullopt);
  Question question{id, suggestedFilename, std::move(completion)};
  if (panelOpen_) return waiting_.push_back(std::move(question));
  showPanel(std::move(question));
}

void Downloads::showPanel(Question question) {
  panelOpen_ = true;
  const SavePanelSheet panel{std::string(kSavePanelTitle),
                             lastPathComponent(question.suggestedFilename),
                             /*canCreateDirectories=*/true};
  window_.beginSavePanelSheet(
      panel, [this, id = question.id,
              completion = std::move(question.completion)](std::optional<std::string> path) {
        completion(prepareFile(id, std::move(path)));
        panelClosed();
      });
}

std::optional<std::string> Downloads::prepareFile(DownloadId id,
                                                  std::optional<std::string> chosenPath) {
  if (!chosenPath) return std::nullopt;
  auto created = PartialDownload::create(*chosenPath);
  if (auto* problem = std::get_if<std::string>(&created)) {
    showFailure(std::move(*problem));
    return std::nullopt;
  }
  auto& file = std::get<PartialDownload>(created);
  std::string written = file.writtenPath();
  files_.insert_or_assign(id, std::move(file));
  return written;
}

void Downloads::showFailure(std::string informativeText) {
  window_.beginAlertSheet(
      AlertSheet{std::string(kDownloadFailedMessage), std::move(informativeText), {}}, [](long) {});
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
  // The row names the file the user chose, not the one being written.
  const auto file = files_.find(id);
  inFlight_.begin(id, file != files_.end() ? file->second.chosenPath() : destinationPath,
                  std::move(cancel));
  window_.showDownloadRows(inFlight_.rows());
}

void Downloads::didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  if (inFlight_.progress(id, receivedBytes, expectedBytes))
    window_.showDownloadRows(inFlight_.rows());
}

void Downloads::didEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  const bool failed = failed_.erase(id) > 0;
  const std::optional<std::string> name = inFlight_.fileName(id);
  if (inFlight_.end(id)) window_.showDownloadRows(inFlight_.rows());
  // What is not put in the chosen file's place goes with this node.
  auto file = files_.extract(id);
  if (failed || file.empty()) return;
  // One whose connection ended before the announced size arrived is a
  // failure, however the engine reports it: a truncated file must not take
  // the place of a whole one.
  if (endedShort(receivedBytes, expectedBytes))
    return reportFailure(name, shortDownloadReason(receivedBytes, expectedBytes));
  if (auto problem = file.mapped().complete(receivedBytes))
    return reportFailure(name, std::move(*problem));
  // The row just went without a word: a screen reader says why.
  if (name) window_.announce(std::string(kDownloadFinishedAnnouncement) + *name);
}

void Downloads::didFail(DownloadId id, const DownloadError& error) {
  failed_.insert(id);
  // What the download wrote goes with it.
  files_.erase(id);
  const std::optional<std::string> name = inFlight_.fileName(id);
  // A download cancelled by the page or abandoned at the save panel is no
  // failure; one that had its row is said to be gone.
  if (error.code == kDownloadCancelledCode) {
    if (name) window_.announce(std::string(kDownloadCancelledAnnouncement) + *name);
    return;
  }
  reportFailure(name, error.localizedDescription);
}

void Downloads::reportFailure(const std::optional<std::string>& name, std::string informativeText) {
  // The alert does not say which download failed; the announcement does.
  if (name) window_.announce(std::string(kDownloadFailedAnnouncement) + *name);
  showFailure(std::move(informativeText));
}

void Downloads::cancelAll() {
  std::deque<Question> waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& question : waiting) question.completion(std::nullopt);
  const std::vector<DownloadRow> rows = inFlight_.rows();
  for (const DownloadRow& row : rows) {
    inFlight_.end(row.id);
    if (row.cancel) row.cancel();
  }
  // What they wrote goes now: the engine may not report their end before the
  // shell is gone.
  files_.clear();
  if (!rows.empty()) window_.showDownloadRows(inFlight_.rows());
}

}  // namespace lumivant
