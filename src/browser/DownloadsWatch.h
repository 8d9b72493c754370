#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "host/WebViewDelegate.h"

namespace lumivant {

// Stands between the web view and the downloads' own delegate, and tells
// whoever waits on them that a download began or ended, once the downloads
// have taken it in: what depends on whether any runs (the quit's question)
// learns it without the downloads knowing about it.
class DownloadsWatch final : public DownloadDelegate {
 public:
  DownloadsWatch(DownloadDelegate& downloads, std::function<void()> changed)
      : downloads_(downloads), changed_(std::move(changed)) {}

  void decideDestination(const std::string& suggestedFilename, bool byUserGesture,
                         std::function<void(std::optional<std::string>)> completion) override {
    downloads_.decideDestination(suggestedFilename, byUserGesture, std::move(completion));
  }
  void didBegin(DownloadId id, const std::string& destinationPath,
                std::function<void()> cancel) override {
    downloads_.didBegin(id, destinationPath, std::move(cancel));
    changed_();
  }
  void didReceiveData(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) override {
    downloads_.didReceiveData(id, receivedBytes, expectedBytes);
  }
  void didEnd(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes) override {
    downloads_.didEnd(id, receivedBytes, expectedBytes);
    changed_();
  }
  void didFail(DownloadId id, const DownloadError& error) override {
    downloads_.didFail(id, error);
    changed_();
  }

 private:
  DownloadDelegate& downloads_;
  const std::function<void()> changed_;
};

}  // namespace lumivant
