// Where a download is saved, chosen by the user in a save panel on the main
// window; the rows that show the downloads in flight; and the alert for a
// download that failed.

#include "browser/Downloads.h"

#include <algorithm>

#include "app/AppDelegate.h"

namespace lumivant {

std::string lastPathComponent(std::string_view path) {
  const size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return {};
  const size_t slash = path.find_last_of('/', end);
  const size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
  return std::string(path.substr(begin, end + 1 - begin));
}

std::optional<double> downloadFraction(uint64_t receivedBytes, uint64_t expectedBytes) {
  if (expectedBytes == 0) return std::nullopt;
  return std::min(1.0, static_cast<double>(receivedBytes) / static_cast<double>(expectedBytes));
}

void DownloadsInFlight::begin(DownloadId id, const std::string& destinationPath,
                              std::function<void()> cancel) {
  DownloadRow row{id, std::string(kDownloadingPrefix) + lastPathComponent(destinationPath),
                  std::nullopt, std::move(cancel)};
  if (auto it = find(id); it != rows_.end()) {
    *it = std::move(row);
  } else {
    rows_.push_back(std::move(row));
  }
}

bool DownloadsInFlight::progress(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) {
  auto it = find(id);
  if (it == rows_.end()) return false;
  const auto fraction = downloadFraction(receivedBytes, expectedBytes);
  // A download of unknown size changes with every piece: its bar moves on.
  if (fraction && fraction == it->fraction) return false;
  it->fraction = fraction;
  return true;
}

bool DownloadsInFlight::end(DownloadId id) {
  auto it = find(id);
  if (it == rows_.end()) return false;
  rows_.erase(it);
  return true;
}

std::vector<DownloadRow>::iterator DownloadsInFlight::find(DownloadId id) {
  return std::find_if(rows_.begin(), rows_.end(),
                      [id](const DownloadRow& row) { return row.id == id; });
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

void AppDelegate::downloadDidBegin(DownloadId id, const std::string& destinationPath,
                                   std::function<void()> cancel) {
  downloads_.begin(id, destinationPath, std::move(cancel));
  if (window) window->showDownloadRows(downloads_.rows());
}

void AppDelegate::downloadDidReceiveData(DownloadId id, uint64_t receivedBytes,
                                         uint64_t expectedBytes) {
  if (downloads_.progress(id, receivedBytes, expectedBytes) && window) {
    window->showDownloadRows(downloads_.rows());
  }
}

// A finished download announces nothing: its row simply goes.
void AppDelegate::downloadDidEnd(DownloadId id) {
  if (downloads_.end(id) && window) window->showDownloadRows(downloads_.rows());
}

void AppDelegate::downloadDidFail(const DownloadError& error) {
  // A download cancelled by the page or abandoned at the save panel is no failure.
  if (error.code == kDownloadCancelledCode) return;
  if (!window) return;
  window->beginAlertSheet(
      AlertSheet{std::string(kDownloadFailedMessage), error.localizedDescription, {}}, [](long) {});
}

}  // namespace lumivant
