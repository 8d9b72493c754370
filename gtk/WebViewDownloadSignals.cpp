// Downloads: where to save, asked of the delegate asynchronously, and failures.

#include "AnswerOnce.h"
#include "EngineValues.h"
#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

using WeakView = std::weak_ptr<GtkWebView>;

void destroyWeakView(gpointer data, GClosure*) { delete static_cast<WeakView*>(data); }

// Gives the engine the chosen destination, or cancels the download, which
// WebKitGTK then reports as a failure cancelled by the user.
void answerDestination(const GObjectPtr<WebKitDownload>& download,
                       const std::optional<std::string>& path) {
  if (!path) {
    webkit_download_cancel(download.get());
    return;
  }
  g_autofree char* uri = g_filename_to_uri(path->c_str(), nullptr, nullptr);
  if (!uri) {
    webkit_download_cancel(download.get());
    return;
  }
  // The save dialog has already asked whether to replace a file standing there.
  webkit_download_set_allow_overwrite(download.get(), TRUE);
  webkit_download_set_destination(download.get(), uri);
}

}  // namespace

void GtkWebView::onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
  // A download may outlive the view, so its handlers hold the view weakly.
  const WeakView weak = static_cast<GtkWebView*>(self)->weak_from_this();
  g_signal_connect_data(download, "decide-destination", G_CALLBACK(onDecideDestination),
                        new WeakView(weak), destroyWeakView, GConnectFlags{});
  g_signal_connect_data(download, "failed", G_CALLBACK(onDownloadFailed), new WeakView(weak),
                        destroyWeakView, GConnectFlags{});
}

gboolean GtkWebView::onDecideDestination(WebKitDownload* download, gchar* suggestedFilename,
                                         gpointer weakSelf) {
  auto self = static_cast<WeakView*>(weakSelf)->lock();
  auto retained = GObjectPtr<WebKitDownload>::retain(download);
  if (!self) {
    webkit_download_cancel(download);
    return TRUE;
  }
  // Answered later, from the save dialog; a lost answer cancels the download.
  auto answer = answerOnce<std::optional<std::string>>(
      [download = std::make_shared<GObjectPtr<WebKitDownload>>(std::move(retained))](
          std::optional<std::string> path) { answerDestination(*download, path); },
      {std::nullopt});
  self->delegate_.decideDownloadDestination(suggestedFilename ? suggestedFilename : "",
                                            std::move(answer));
  return TRUE;
}

void GtkWebView::onDownloadFailed(WebKitDownload*, GError* error, gpointer weakSelf) {
  if (auto self = static_cast<WeakView*>(weakSelf)->lock()) {
    self->delegate_.downloadDidFail(downloadErrorFrom(error));
  }
}

}  // namespace lumivant::gtk
