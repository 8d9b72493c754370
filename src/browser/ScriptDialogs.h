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
class ScriptDialogs final : public ScriptDialogDelegate {
 public:
  explicit ScriptDialogs(Window& window) : window_(window) {}

  // What answers the page's question whether it may be left.
  using LeaveAnswer = std::function<void(bool leave)>;
  // Given the page's answer each time the page asks whether it may be left;
  // the user's answer goes to what it returns instead, so that a quit waiting
  // for the page learns it too.
  std::function<LeaveAnswer(LeaveAnswer)> onLeaveQuestion;

  void runJavaScriptAlert(const std::string& message, std::function<void()> completion) override;
  void runJavaScriptConfirm(const std::string& message,
                            std::function<void(bool)> completion) override;
  void runJavaScriptTextInput(const std::string& message, const std::string& defaultText,
                              std::function<void(std::optional<std::string>)> completion) override;
  void runBeforeUnloadConfirm(LeaveAnswer completion) override;
  void runOpenPanel(
      const OpenPanelParameters& parameters,
      std::function<void(std::optional<std::vector<std::string>>)> completion) override;

 private:
  Window& window_;
};

}  // namespace lumivant
