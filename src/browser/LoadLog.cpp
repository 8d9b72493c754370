// One line on standard error for every page the web view finishes loading.

#include "browser/LoadLog.h"

#include <unistd.h>

#include <cerrno>

#include "app/AppDelegate.h"

namespace lumivant {

std::string loadLogLine(const std::optional<std::string>& title) {
  return "shell: webview loaded: " + title.value_or("(no title)") + "\n";
}

void writeToStandardError(std::string_view text) {
  while (::write(STDERR_FILENO, text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

void AppDelegate::didFinishNavigation() {
  firstPage_.finished();
  if (!webView) return;
  // The line needs nothing of the delegate, so the evaluation holds none of it.
  webView->evaluateJavaScript("document.title", [](std::optional<std::string> title) {
    writeToStandardError(loadLogLine(title));
  });
}

}  // namespace lumivant
