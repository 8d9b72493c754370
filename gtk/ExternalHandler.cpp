#include "ExternalHandler.h"

#include <gtk/gtk.h>

#include <memory>

#include "GObjectPtr.h"
#include "SoftwareRendering.h"

namespace lumivant::gtk {

namespace {

using Failure = std::function<void(const std::string& reason)>;

void onLaunched(GObject*, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Failure> failed(static_cast<Failure*>(data));
  g_autoptr(GError) error = nullptr;
  if (g_app_info_launch_default_for_uri_finish(result, &error)) return;
  if (*failed) (*failed)(error && error->message ? error->message : "");
}

}  // namespace

void openWithDefaultHandler(const std::string& url, Failure failed) {
  // The launch context tells the handler which display to use and carries the
  // start-up notification; the asynchronous launch keeps the window responsive
  // while GIO looks up and starts the handler.
  GdkDisplay* display = gdk_display_get_default();
  auto context =
      display ? GObjectPtr<GdkAppLaunchContext>::adopt(gdk_display_get_app_launch_context(display))
              : GObjectPtr<GdkAppLaunchContext>();
  keepRenderingSwitchesToTheShell(G_APP_LAUNCH_CONTEXT(context.get()));
  g_app_info_launch_default_for_uri_async(url.c_str(), G_APP_LAUNCH_CONTEXT(context.get()), nullptr,
                                          onLaunched, new Failure(std::move(failed)));
}

}  // namespace lumivant::gtk
