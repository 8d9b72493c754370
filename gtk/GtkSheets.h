#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"

// The shell's dialogs, each modal to its parent window. Every completion runs
// exactly once on the main thread: when the user answers, when the dialog is
// closed, and also when the dialog is destroyed unanswered.
namespace lumivant::gtk {

void runAlertSheet(GtkWindow* parent, const AlertSheet& alert, std::function<void(long)> done);

// A message dialog with a one-line text field holding the default text; Return
// in the field answers with the first button. The completion receives the
// answer as an alert's and the field's text.
void runPromptSheet(GtkWindow* parent, const PromptSheet& prompt,
                    std::function<void(long, std::string)> done);

void runSavePanelSheet(GtkWindow* parent, const SavePanelSheet& panel,
                       std::function<void(std::optional<std::string>)> done);

void runOpenPanelSheet(GtkWindow* parent, const OpenPanelSheet& panel,
                       std::function<void(std::optional<std::vector<std::string>>)> done);

// The label of an alert's only button when the alert names none.
inline constexpr const char* kDefaultAlertButton = "好";

}  // namespace lumivant::gtk
