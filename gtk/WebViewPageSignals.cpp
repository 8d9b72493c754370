// The page's script dialogs and file chooser, answered asynchronously by the
// script dialog delegate; the course of each load, and the end of the web
// content process, reported to the page load delegate.

#include <memory>

#include "AnswerOnce.h"
#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

// Keeps a script dialog alive until it is answered.
class HeldScriptDialog {
 public:
  explicit HeldScriptDialog(WebKitScriptDialog* dialog)
      : dialog_(webkit_script_dialog_ref(dialog)) {}
  ~HeldScriptDialog() { webkit_script_dialog_unref(dialog_); }
  HeldScriptDialog(const HeldScriptDialog&) = delete;
  HeldScriptDialog& operator=(const HeldScriptDialog&) = delete;

  void close() { webkit_script_dialog_close(dialog_); }
  void confirm(bool confirmed) {
    webkit_script_dialog_confirm_set_confirmed(dialog_, confirmed);
    close();
  }
  // A prompt closed without text answers null to the page.
  void answerPrompt(const std::optional<std::string>& text) {
    if (text) webkit_script_dialog_prompt_set_text(dialog_, text->c_str());
    close();
  }

 private:
  WebKitScriptDialog* dialog_;
};

void answerFileChooser(WebKitFileChooserRequest* request,
                       const std::optional<std::vector<std::string>>& paths) {
  if (!paths) {
    webkit_file_chooser_request_cancel(request);
    return;
  }
  std::vector<const char*> files;
  for (const auto& path : *paths) files.push_back(path.c_str());
  files.push_back(nullptr);
  webkit_file_chooser_request_select_files(request, files.data());
}

}  // namespace

gboolean GtkWebView::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
  ScriptDialogDelegate& dialogs = static_cast<GtkWebView*>(self)->delegates_->scriptDialogs;
  const std::string message = webkit_script_dialog_get_message(dialog);
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT: {
      auto held = std::make_shared<HeldScriptDialog>(dialog);
      dialogs.runJavaScriptAlert(message, answerOnce<>([held] { held->close(); }, {}));
      return TRUE;
    }
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: {
      auto held = std::make_shared<HeldScriptDialog>(dialog);
      dialogs.runJavaScriptConfirm(
          message, answerOnce<bool>([held](bool confirmed) { held->confirm(confirmed); }, {false}));
      return TRUE;
    }
    case WEBKIT_SCRIPT_DIALOG_PROMPT: {
      auto held = std::make_shared<HeldScriptDialog>(dialog);
      using Text = std::optional<std::string>;
      const char* defaultText = webkit_script_dialog_prompt_get_default_text(dialog);
      dialogs.runJavaScriptTextInput(
          message, defaultText ? defaultText : "",
          answerOnce<Text>([held](const Text& text) { held->answerPrompt(text); }, {std::nullopt}));
      return TRUE;
    }
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: {
      auto held = std::make_shared<HeldScriptDialog>(dialog);
      dialogs.runBeforeUnloadConfirm(
          answerOnce<bool>([held](bool leave) { held->confirm(leave); }, {true}));
      return TRUE;
    }
  }
  // Every kind of dialog is the shell's own: WebKit's would carry the page's
  // address in its title. A kind unknown to this build is cancelled.
  webkit_script_dialog_close(dialog);
  return TRUE;
}

gboolean GtkWebView::onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                      gpointer self) {
  // WebKitGTK does not say whether a directory may be chosen.
  const OpenPanelParameters parameters{
      webkit_file_chooser_request_get_select_multiple(request) != FALSE, false};
  auto held = std::make_shared<GObjectPtr<WebKitFileChooserRequest>>(
      GObjectPtr<WebKitFileChooserRequest>::retain(request));
  using Paths = std::optional<std::vector<std::string>>;
  static_cast<GtkWebView*>(self)->delegates_->scriptDialogs.runOpenPanel(
      parameters,
      answerOnce<Paths>([held](const Paths& paths) { answerFileChooser(held->get(), paths); },
                        {std::nullopt}));
  return TRUE;
}

void GtkWebView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  if (event == WEBKIT_LOAD_STARTED) {
    view->currentLoadFailed_ = false;
    view->loadTimeout_->loadStarted();
  }
  if (event == WEBKIT_LOAD_COMMITTED) {
    const char* uri = webkit_web_view_get_uri(view->view());
    view->delegates_->pageLoads.didCommit(uri ? uri : "");
  }
  // The server has answered: the request's time-out no longer applies.
  if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED) view->loadTimeout_->cancel();
  if (event == WEBKIT_LOAD_FINISHED && !view->currentLoadFailed_) {
    view->delegates_->pageLoads.didFinish();
  }
  // The view's first load has ended on the web process they share, which now
  // lives on without the blank page.
  if (event == WEBKIT_LOAD_FINISHED) view->warmUp_.reset();
}

gboolean GtkWebView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                  gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  view->currentLoadFailed_ = true;
  view->loadTimeout_->cancel();
  NavigationFailure failure{NavigationFailure::Kind::error, error ? error->message : "",
                            uri ? uri : ""};
  if (view->loadTimeout_->timedOut()) {
    failure.kind = NavigationFailure::Kind::timedOut;
  } else if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) {
    failure.kind = NavigationFailure::Kind::cancelled;
  } else if (g_error_matches(error, WEBKIT_POLICY_ERROR,
                             WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
    failure.kind = NavigationFailure::Kind::becameDownload;
  }
  view->delegates_->pageLoads.didFail(failure);
  // WebKit's own error page would be a page of its own making, loaded and
  // logged as if the backend had served it; the view keeps what it showed.
  return TRUE;
}

void GtkWebView::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                        gpointer self) {
  static_cast<GtkWebView*>(self)->delegates_->pageLoads.webContentProcessDidTerminate();
}

}  // namespace lumivant::gtk
