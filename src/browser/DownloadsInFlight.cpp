// The downloads being written, as the rows the window shows below the page.

#include "browser/DownloadsInFlight.h"

#include <algorithm>
#include <cstdio>

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

bool endedShort(uint64_t receivedBytes, uint64_t expectedBytes) {
  return expectedBytes > 0 && receivedBytes < expectedBytes;
}

std::string readableSize(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " 字节";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  double size = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (size >= 1024.0 && unit + 1 < std::size(kUnits)) {
    size /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", size, kUnits[unit]);
  return text;
}

std::string shortDownloadReason(uint64_t receivedBytes, uint64_t expectedBytes) {
  return "连接在下载完成前断开了：只收到 " + readableSize(receivedBytes) + "，应有 " +
         readableSize(expectedBytes) + "。";
}

void DownloadsInFlight::begin(DownloadId id, const std::string& path,
                              std::function<void()> cancel) {
  DownloadRow row{id, std::string(kDownloadingPrefix) + lastPathComponent(path), std::nullopt,
                  std::move(cancel)};
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

std::optional<std::string> DownloadsInFlight::fileName(DownloadId id) const {
  const auto it = std::find_if(rows_.begin(), rows_.end(),
                               [id](const DownloadRow& row) { return row.id == id; });
  if (it == rows_.end()) return std::nullopt;
  return it->label.substr(kDownloadingPrefix.size());
}

std::vector<DownloadRow>::iterator DownloadsInFlight::find(DownloadId id) {
  return std::find_if(rows_.begin(), rows_.end(),
                      [id](const DownloadRow& row) { return row.id == id; });
}

}  // namespace lumivant
