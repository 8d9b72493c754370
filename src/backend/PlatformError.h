#pragma once

#include <stdexcept>
#include <string>

namespace lumivant {

// A failure of the operating system or of a library on the start-up path, worded
// for the user: what failed and why, for example
// "无法打开日志文件 /home/u/.orlath-framework/logs/backend.log：Permission denied".
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // "<what failed>：<strerror(errnum)>"
  static PlatformError fromErrno(const std::string& whatFailed, int errnum);
};

}  // namespace lumivant
