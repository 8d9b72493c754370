#include "selfupdate/ShellSwapLog.h"

#include <sys/syslog.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "base/FileReading.h"

namespace lumivant {

namespace {

std::string standardErrorPrefix() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  char moment[32];
  std::strftime(moment, sizeof moment, "%Y-%m-%d %H:%M:%S", &local);
  char prefix[160];
  std::snprintf(prefix, sizeof prefix, "%s.%03d %s[%d:%x] ", moment,
                static_cast<int>(now.tv_usec / 1000), program_invocation_short_name,
                static_cast<int>(getpid()), static_cast<unsigned>(gettid()));
  return prefix;
}

}  // namespace

std::string escapeControlCharacters(std::string_view line) {
  std::string escaped;
  escaped.reserve(line.size());
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

void logShellSwap(const std::string& unsafeLine) {
  const std::string line = escapeControlCharacters(unsafeLine);
  static std::once_flag opened;
  std::call_once(opened, [] { openlog("Lumivant", LOG_PID, LOG_USER); });
  syslog(LOG_NOTICE, "%s", line.c_str());

  const std::string whole = standardErrorPrefix() + line + "\n";
  (void)writeAll(STDERR_FILENO, whole);
}

}  // namespace lumivant
