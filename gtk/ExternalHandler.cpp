#include "ExternalHandler.h"

#include <gtk/gtk.h>

#include "GObjectPtr.h"

namespace lumivant::gtk {

namespace {

void onLaunched(GObject*, GAsyncResult* result, gpointer) {
  // No handler, or one that failed to start: nothing is reported either way.
  g_autoptr(GError) error = nullptr;
  g_app_info_launch_default_for_uri_finish(result, &error);
}

}  // namespace

void openWithDefaultHandler(const std::string& url) {
  // The launch context tells the handler which display to use and carries the
  // start-up notification; the asynchronous launch keeps the window responsive
  // while GIO looks up and starts the handler.
  GdkDisplay* display = gdk_display_get_default();
  auto context =
      display ? GObjectPtr<GdkAppLaunchContext>::adopt(gdk_display_get_app_launch_context(display))
              : GObjectPtr<GdkAppLaunchContext>();
  g_app_info_launch_default_for_uri_async(url.c_str(), G_APP_LAUNCH_CONTEXT(context.get()), nullptr,
                                          onLaunched, nullptr);
}

}  // namespace lumivant::gtk
