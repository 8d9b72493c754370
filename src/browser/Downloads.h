#pragma once

#include <string>
#include <string_view>

namespace lumivant {

inline constexpr std::string_view kSavePanelTitle = "保存研究文件";
inline constexpr std::string_view kDownloadFailedMessage = "文件下载失败";

// The last component of a slash-separated path, trailing slashes set aside:
// "a/b/report.pdf" and "a/b/report.pdf/" give "report.pdf". A path of slashes
// only, like an empty one, gives "": a bare "/" names no file to save as.
std::string lastPathComponent(std::string_view path);

}  // namespace lumivant
