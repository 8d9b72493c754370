#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

inline constexpr std::string_view kSavePanelTitle = "保存研究文件";
inline constexpr std::string_view kDownloadFailedMessage = "文件下载失败";
// A row's text is this prefix followed by the name of the file being written.
inline constexpr std::string_view kDownloadingPrefix = "正在下载 ";
// Said to assistive technology as a row goes, followed by the file's name.
inline constexpr std::string_view kDownloadFinishedAnnouncement = "下载完成：";
inline constexpr std::string_view kDownloadFailedAnnouncement = "下载失败：";
inline constexpr std::string_view kDownloadCancelledAnnouncement = "已取消下载：";

// The last component of a slash-separated path, trailing slashes set aside:
// "a/b/report.pdf" and "a/b/report.pdf/" give "report.pdf". A path of slashes
// only, like an empty one, gives "": a bare "/" names no file to save as.
std::string lastPathComponent(std::string_view path);

// How far a download has come, from 0 to 1, or nothing while its size is
// unknown (expected 0). More data than announced counts as complete.
std::optional<double> downloadFraction(uint64_t receivedBytes, uint64_t expectedBytes);

// Whether a download that ended got fewer bytes than its response announced.
bool endedShort(uint64_t receivedBytes, uint64_t expectedBytes);
// Why such a download failed, for the failure alert: how much came of how much.
std::string shortDownloadReason(uint64_t receivedBytes, uint64_t expectedBytes);
// A size as people read it: "812 字节", "4.0 KB", "52.0 MB", "1.5 GB".
std::string readableSize(uint64_t bytes);

// The downloads that are being written, in the order they began, as the rows
// the window shows. A download that never began (abandoned at the save panel)
// is unknown here, and so are progress and ends reported for it.
class DownloadsInFlight {
 public:
  // The row is named after the last component of path.
  void begin(DownloadId id, const std::string& path, std::function<void()> cancel);
  // Each returns whether the rows changed.
  bool progress(DownloadId id, uint64_t receivedBytes, uint64_t expectedBytes);
  bool end(DownloadId id);
  // The name of the file the download in flight is written to, as its row shows it.
  std::optional<std::string> fileName(DownloadId id) const;

  const std::vector<DownloadRow>& rows() const { return rows_; }

 private:
  std::vector<DownloadRow>::iterator find(DownloadId id);

  std::vector<DownloadRow> rows_;
};

}  // namespace lumivant
