// The page's alert, confirm, prompt, leave-page and file-input requests, each
// answered by a sheet of the shell's own on the main window, in the shell's
// language and without the page's address. Every completion is called exactly once, when the sheet
// closes.

#include "browser/ScriptDialogs.h"

namespace lumivant {

namespace {

constexpr const char* kConfirmButton = "确认";
constexpr const char* kCancelButton = "取消";
constexpr const char* kLeavePageMessage = "要离开这个页面吗？";
constexpr const char* kLeavePageInformative = "你做的更改可能不会保存。";
constexpr const char* kLeaveButton = "离开";
constexpr const char* kStayButton = "留下";

}  // namespace

void ScriptDialogs::runJavaScriptAlert(const std::string& message,
                                       std::function<void()> completion) {
  window_.beginAlertSheet(AlertSheet{message, {}, {}},
                          [completion = std::move(completion)](long) { completion(); });
}

void ScriptDialogs::runJavaScriptConfirm(const std::string& message,
                                         std::function<void(bool)> completion) {
  window_.beginAlertSheet(AlertSheet{message, {}, {kConfirmButton, kCancelButton}},
                          [completion = std::move(completion)](long response) {
                            completion(response == kAlertFirstButtonReturn);
                          });
}

void ScriptDialogs::runJavaScriptTextInput(
    const std::string& message, const std::string& defaultText,
    std::function<void(std::optional<std::string>)> completion) {
  window_.beginPromptSheet(PromptSheet{message, defaultText, {kConfirmButton, kCancelButton}},
                           [completion = std::move(completion)](long response, std::string text) {
                             if (response == kAlertFirstButtonReturn)
                               return completion(std::move(text));
                             completion(std::nullopt);
                           });
}

// The page's own text for this question is not shown: it is the engine's
// generic one, and a page could use it to mislead.
void ScriptDialogs::runBeforeUnloadConfirm(LeaveAnswer completion) {
  if (onLeaveQuestion) completion = onLeaveQuestion(std::move(completion));
  window_.beginAlertSheet(
      AlertSheet{kLeavePageMessage, kLeavePageInformative, {kLeaveButton, kStayButton}},
      [completion = std::move(completion)](long response) {
        completion(response == kAlertFirstButtonReturn);
      });
}

void ScriptDialogs::runOpenPanel(
    const OpenPanelParameters& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
  const OpenPanelSheet panel{parameters.allowsMultipleSelection, parameters.allowsDirectories,
                             /*canChooseFiles=*/true};
  // The chosen paths in the panel's order, or no list at all on cancel.
  window_.beginOpenPanelSheet(panel, std::move(completion));
}

}  // namespace lumivant
