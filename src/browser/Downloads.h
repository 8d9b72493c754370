#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "browser/DownloadsInFlight.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// The downloads of the web view: where each is saved, chosen by the user in a
// save panel on the main window, one panel at a time; the rows that show those
// in flight; and the alert for one that failed, a download that ended short of
// its announced size included. Nothing of a failed or cancelled download stays
// under the name the user chose.
class Downloads final : public DownloadDelegate {
 public:
  explicit Downloads(Window& window) : window_(window) {}

  // Gives the path to save to, or nothing to abandon the download. A download
  // the user started waits for its own panel while another one is open; one
  // the page started on its own is abandoned without a panel.
  void decideDestination(const std::string& suggestedFilename, bool byUserGesture,
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
    std::string suggestedFilename;
    std::function<void(std::optional<std::string>)> completion;
  };
  void showPanel(Question question);
  void panelClosed();

  Window& window_;
  DownloadsInFlight inFlight_;
  bool panelOpen_ = false;
  // Downloads the user started, waiting for the open panel to close.
  std::deque<Question> waiting_;
  // Downloads that failed: their end is no second failure.
  std::set<DownloadId> failed_;
};

}  // namespace lumivant
