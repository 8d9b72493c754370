#pragma once

#include <functional>
#include <optional>
#include <string>

#include "browser/DownloadsInFlight.h"
#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// The downloads of the web view: where each is saved, chosen by the user in a
// save panel on the main window; the rows that show those in flight; and the
// alert for one that failed.
class Downloads {
 public:
  explicit Downloads(Window& window) : window_(window) {}

  // Gives the path to save to, or nothing to abandon the download.
  void decideDestination(const std::string& suggestedFilename,
                         std::function<void(std::optional<std::string>)> completion);
  void didBegin(DownloadId id, const std::string& destinationPath, std::function<void()> cancel);
  void didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes);
  void didEnd(DownloadId id);
  void didFail(const DownloadError& error);

 private:
  Window& window_;
  DownloadsInFlight inFlight_;
};

}  // namespace lumivant
