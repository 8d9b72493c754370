// The page's requests for notifications, the location, the camera and the
// microphone, answered asynchronously by the permission delegate, and the
// page's notifications, which the delegate hands to the desktop or refuses.

#include <memory>
#include <optional>

#include "AnswerOnce.h"
#include "GtkWebView.h"

namespace lumivant::gtk {

namespace {

std::optional<PermissionKind> kindOf(WebKitPermissionRequest* request) {
  if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return PermissionKind::notifications;
  if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) return PermissionKind::location;
  if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
    // Sharing the screen is not a device the user is asked about.
    if (webkit_user_media_permission_is_for_display_device(
            WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request)))
      return std::nullopt;
    auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
    const bool video = webkit_user_media_permission_is_for_video_device(media);
    const bool audio = webkit_user_media_permission_is_for_audio_device(media);
    if (video && audio) return PermissionKind::cameraAndMicrophone;
    if (video) return PermissionKind::camera;
    if (audio) return PermissionKind::microphone;
  }
  return std::nullopt;
}

std::string viewAddress(WebKitWebView* view) {
  const char* uri = webkit_web_view_get_uri(view);
  return uri ? uri : "";
}

}  // namespace

gboolean GtkWebView::onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                         gpointer self) {
  const std::optional<PermissionKind> kind = kindOf(request);
  // Anything else a page may ask for (the screen, pointer lock, media keys,
  // storage access, the list of devices) the shell does not give.
  if (!kind) {
    webkit_permission_request_deny(request);
    return TRUE;
  }
  // Kept until answered; one the core loses is denied.
  auto held = std::make_shared<GObjectPtr<WebKitPermissionRequest>>(
      GObjectPtr<WebKitPermissionRequest>::retain(request));
  auto answer = [held](bool allow) {
    if (allow) {
      webkit_permission_request_allow(held->get());
    } else {
      webkit_permission_request_deny(held->get());
    }
  };
  static_cast<GtkWebView*>(self)->delegates_->permissions.decidePermission(
      PermissionRequest{*kind, viewAddress(view)}, answerOnce<bool>(answer, {false}));
  return TRUE;
}

gboolean GtkWebView::onShowNotification(WebKitWebView* view, WebKitNotification* notification,
                                        gpointer self) {
  const char* title = webkit_notification_get_title(notification);
  const char* body = webkit_notification_get_body(notification);
  return static_cast<GtkWebView*>(self)->delegates_->permissions.showNotification(
      PageNotification{title ? title : "", body ? body : "", viewAddress(view)});
}

}  // namespace lumivant::gtk
