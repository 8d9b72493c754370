// Downloads: where to save, asked of the download delegate asynchronously; progress from
// the moment the file is created until the download ends; and failures.

#include <glib/gstdio.h>

#include "AnswerOnce.h"
#include "GtkWebView.h"
#include "WebKitConversions.h"

namespace lumivant::gtk {

namespace {

// What WebKitGTK appends to the destination's name for the file it writes
// until the download is complete.
constexpr const char* kEngineIntermediateSuffix = ".wkdownload";

// What each of a download's handlers holds: the view, weakly, since a download
// may outlive it, and the download's id.
struct DownloadHandle {
  std::weak_ptr<GtkWebView> view;
  DownloadId id;
};

void destroyHandle(gpointer data, GClosure*) { delete static_cast<DownloadHandle*>(data); }

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

// The engine writes into a file of its own beside the destination until the
// download is complete, and removes it after a failure in its network
// process, which may not get to it when the shell is quitting: it is removed
// here and now.
void removeIntermediateFile(WebKitDownload* download) {
  const char* destination = webkit_download_get_destination(download);
  if (!destination) return;
  g_autofree char* path = g_filename_from_uri(destination, nullptr, nullptr);
  if (!path) return;
  const std::string intermediate = std::string(path) + kEngineIntermediateSuffix;
  g_unlink(intermediate.c_str());
}

// The length the response announced; 0 when it announced none.
guint64 expectedLength(WebKitDownload* download) {
  WebKitURIResponse* response = webkit_download_get_response(download);
  return response ? webkit_uri_response_get_content_length(response) : 0;
}

}  // namespace

void GtkWebView::onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
  auto* view = static_cast<GtkWebView*>(self);
  const DownloadHandle handle{view->weak_from_this(), view->nextDownloadId_++};
  const auto connect = [&](const char* signal, GCallback callback) {
    g_signal_connect_data(download, signal, callback, new DownloadHandle(handle), destroyHandle,
                          GConnectFlags{});
  };
  connect("decide-destination", G_CALLBACK(onDecideDestination));
  connect("created-destination", G_CALLBACK(onCreatedDestination));
  connect("received-data", G_CALLBACK(onReceivedData));
  connect("failed", G_CALLBACK(onDownloadFailed));
  connect("finished", G_CALLBACK(onDownloadFinished));
}

gboolean GtkWebView::onDecideDestination(WebKitDownload* download, gchar* suggestedFilename,
                                         gpointer handle) {
  auto self = static_cast<DownloadHandle*>(handle)->view.lock();
  auto retained = GObjectPtr<WebKitDownload>::retain(download);
  if (!self) {
    webkit_download_cancel(download);
    return TRUE;
  }
  // Answered later, from the save dialog; a lost answer cancels the download.
  auto answer = answerOnce<std::optional<std::string>>(
      [download = std::make_shared<GObjectPtr<WebKitDownload>>(std::move(retained))](
          const std::optional<std::string>& path) { answerDestination(*download, path); },
      {std::nullopt});
  WebKitURIRequest* request = webkit_download_get_request(download);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  const bool byUserGesture = uri && self->userGestures_.takeDownload(uri);
  self->delegates_->downloads.decideDestination(suggestedFilename ? suggestedFilename : "",
                                                byUserGesture, std::move(answer));
  return TRUE;
}

void GtkWebView::onCreatedDestination(WebKitDownload* download, gchar* destination,
                                      gpointer handle) {
  const auto* held = static_cast<DownloadHandle*>(handle);
  auto self = held->view.lock();
  if (!self) return;
  g_autofree char* path =
      destination ? g_filename_from_uri(destination, nullptr, nullptr) : nullptr;
  auto retained =
      std::make_shared<GObjectPtr<WebKitDownload>>(GObjectPtr<WebKitDownload>::retain(download));
  self->delegates_->downloads.didBegin(held->id, path ? path : "", [retained] {
    webkit_download_cancel(retained->get());
    removeIntermediateFile(retained->get());
  });
}

void GtkWebView::onReceivedData(WebKitDownload* download, guint64, gpointer handle) {
  const auto* held = static_cast<DownloadHandle*>(handle);
  auto self = held->view.lock();
  if (!self) return;
  self->delegates_->downloads.didReceiveData(
      held->id, webkit_download_get_received_data_length(download), expectedLength(download));
}

void GtkWebView::onDownloadFailed(WebKitDownload* download, GError* error, gpointer handle) {
  removeIntermediateFile(download);
  const auto* held = static_cast<DownloadHandle*>(handle);
  if (auto self = held->view.lock()) {
    self->delegates_->downloads.didFail(held->id, downloadErrorFrom(error));
  }
}

// WebKitGTK ends every download with this signal, after a failure too, and
// also when the connection ended before the announced length arrived.
void GtkWebView::onDownloadFinished(WebKitDownload* download, gpointer handle) {
  const auto* held = static_cast<DownloadHandle*>(handle);
  if (auto self = held->view.lock()) {
    self->delegates_->downloads.didEnd(held->id, webkit_download_get_received_data_length(download),
                                       expectedLength(download));
  }
}

}  // namespace lumivant::gtk
