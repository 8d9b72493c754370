// One line on standard error for every page the web view finishes loading.

#include "browser/LoadLog.h"

#include <unistd.h>

#include <cerrno>

namespace lumivant {

std::string loadLogLine(const std::optional<std::string>& title) {
  return "shell: webview loaded: " + title.value_or("(no title)") + "\n";
}

void writeToStandardError(std::string_view text) {
  while (::write(STDERR_FILENO, text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

}  // namespace lumivant
