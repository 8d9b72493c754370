#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "browser/DownloadsInFlight.h"
#include "browser/PartialDownload.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// The downloads of the web view: where each is saved, chosen by the user in a
// save panel on the main window, one panel at a time; the rows that show those
// in flight; and the alert for one that failed, a download that ended short of
// its announced size included; and what assistive technology is told as a
// row goes (finished, failed or cancelled). Each is written beside the file the user chose
// and takes its place only when whole: a failed or cancelled download leaves
// that file, or its absence, exactly as it was.
class Downloads final : public DownloadDelegate {
 public:
  explicit Downloads(Window& window) : window_(window) {}

  // Gives the path to write the download to, or nothing to abandon it. A
  // download the user started waits for its own panel while another one is
  // open; one the page started on its own is abandoned without a panel.
  void decideDestination(DownloadId id, const std::string& suggestedFilename, bool byUserGesture,
                         std::function<void(std::optional<std::string>)> completion) override;
  void didBegin(DownloadId id, const std::string& destinationPath,
                std::function<void()> cancel) override;
  void didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) override;
  void didEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) override;
  void didFail(DownloadId id, const DownloadError& error) override;

  bool anyInFlight() const { return !inFlight_.rows().empty(); }
  // Cancels every download in flight and every one waiting for a panel, and
  // removes what they wrote. Nothing is reported about them afterwards.
  void cancelAll();

 private:
  struct Question {
    DownloadId id = 0;
    std::string suggestedFilename;
    std::function<void(std::optional<std::string>)> completion;
  };
  void showPanel(Question question);
  void panelClosed();
  // The file the engine is to write the download to, in a private folder
  // beside the chosen one; nothing, after the failure alert, when there is
  // no writing there.
  std::optional<std::string> prepareFile(DownloadId id, std::optional<std::string> chosenPath);
  void showFailure(std::string informativeText);
  // The failure alert, announced with the name of the download's file when
  // it had a row.
  void reportFailure(const std::optional<std::string>& name, std::string informativeText);

  Window& window_;
  DownloadsInFlight inFlight_;
  bool panelOpen_ = false;
  // Downloads the user started, waiting for the open panel to close.
  std::deque<Question> waiting_;
  // Downloads that failed: their end is no second failure.
  std::set<DownloadId> failed_;
  // The files of the downloads given a destination, until they end.
  std::map<DownloadId, PartialDownload> files_;
};

}  // namespace lumivant
