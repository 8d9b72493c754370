#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FileChooserSettings.h"
#include "GObjectPtr.h"
#include "host/Host.h"

namespace lumivant::gtk {

// Alerts and prompts drawn inside the window, over its body, centred on the
// whole window with its title bar. They are for window systems that put a
// dialog's own window wherever they like rather than on its parent (Weston
// does). While one shows, the body underneath (menu bar, page, download rows)
// takes no input and the sheet has the keyboard: Return answers with the
// default button, the first, and Escape closes it. A second one waits until
// the first is answered. Each answers exactly once, as the dialogs of
// GtkSheets.h do: a button gives 1000 and on, closing gives 0, and a sheet
// still showing or waiting when this is destroyed gives 0, and so does one
// withdrawn by its asker: one waiting is never shown, one showing closes.
//
// The save and open panels take their place in the same line: a file chooser
// sized to fit the window, with the cancel button and the default button,
// which accepts, at the bottom; Escape cancels. They answer as those of
// GtkSheets.h do, with nothing when cancelled or destroyed.
class InWindowSheets {
 public:
  // Puts body into an overlay, widget(), which the window holds instead.
  explicit InWindowSheets(GtkWidget* body);
  ~InWindowSheets();
  InWindowSheets(const InWindowSheets&) = delete;
  InWindowSheets& operator=(const InWindowSheets&) = delete;

  GtkWidget* widget() const { return overlay_.get(); }

  void runAlert(const AlertSheet& alert, std::function<void(long)> done);
  // The field holds the default text and has the focus; Return in it answers
  // with the first button. The completion also receives the field's text.
  void runPrompt(const PromptSheet& prompt, std::function<void(long, std::string)> done);

  void runSavePanel(const SavePanelSheet& panel,
                    std::function<void(std::optional<std::string>)> done);
  void runOpenPanel(const OpenPanelSheet& panel,
                    std::function<void(std::optional<std::vector<std::string>>)> done);

  bool isShowing() const { return shown_ != nullptr; }

 private:
  struct Answer {
    long response = 0;
    std::string text;                // the prompt's field
    std::vector<std::string> paths;  // the chooser's files, when accepted
  };
  struct Chooser {
    ChooserLook look;
    std::function<void(GtkFileChooser*)> setUp;
  };
  struct Request {
    std::string message;
    std::string informative;
    std::vector<std::string> buttons;
    std::optional<std::string> field;
    std::optional<Chooser> chooser;    // in place of the message and buttons
    std::function<void(Answer)> done;  // answers once
    std::shared_ptr<SheetWithdrawal> withdrawal = nullptr;
  };
  struct Shown;

  void showNext();
  void show(Request request);
  GtkWidget* buildMessage(const Request& request, Shown& shown);
  GtkWidget* buildChooser(const Chooser& chooser, Shown& shown);
  void answer(Answer answer);
  void acceptChosen();
  static void onAcceptClicked(GtkButton*, gpointer self);
  static void onCancelClicked(GtkButton*, gpointer self);
  static void onFileActivated(GtkFileChooser*, gpointer self);
  static void onChosenChanged(GtkFileChooser*, gpointer self);
  static gboolean onChildPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* place,
                                  gpointer self);
  static void onButtonClicked(GtkButton* button, gpointer self);
  static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);

  GObjectPtr<GtkWidget> overlay_;
  GtkWidget* body_;  // owned by the overlay
  std::deque<Request> waiting_;
  std::unique_ptr<Shown> shown_;
  bool closing_ = false;
};

}  // namespace lumivant::gtk
