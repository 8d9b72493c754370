#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant {

// Answers the page's alert, confirm, prompt, leave-page and file-input
// requests with sheets of the shell's own on the main window.
class ScriptDialogs {
 public:
  explicit ScriptDialogs(Window& window) : window_(window) {}

  void runJavaScriptAlert(const std::string& message, std::function<void()> completion);
  void runJavaScriptConfirm(const std::string& message, std::function<void(bool)> completion);
  void runJavaScriptTextInput(const std::string& message, const std::string& defaultText,
                              std::function<void(std::optional<std::string>)> completion);
  void runBeforeUnloadConfirm(std::function<void(bool leave)> completion);
  void runOpenPanel(const OpenPanelParameters& parameters,
                    std::function<void(std::optional<std::vector<std::string>>)> completion);

 private:
  Window& window_;
};

}  // namespace lumivant
