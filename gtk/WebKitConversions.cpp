#include "WebKitConversions.h"

namespace lumivant::gtk {

NavigationType navigationTypeFrom(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
      return NavigationType::linkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
      return NavigationType::formSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
      return NavigationType::backForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
      return NavigationType::reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
      return NavigationType::formResubmitted;
    case WEBKIT_NAVIGATION_TYPE_OTHER:
      break;
  }
  return NavigationType::other;
}

NavigationAction navigationActionFrom(WebKitNavigationAction* action) {
  NavigationAction result;
  if (!action) return result;
  result.navigationType = navigationTypeFrom(webkit_navigation_action_get_navigation_type(action));
  result.isUserGesture = webkit_navigation_action_is_user_gesture(action);
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  if (uri && *uri) result.url = uri;
  return result;
}

NavigationResponse navigationResponseFrom(WebKitResponsePolicyDecision* decision) {
  NavigationResponse result;
  result.canShowMIMEType =
      webkit_response_policy_decision_is_mime_type_supported(decision) != FALSE;
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
  SoupMessageHeaders* headers = response ? webkit_uri_response_get_http_headers(response) : nullptr;
  // Repeated headers come joined by commas; the disposition type still leads.
  const char* disposition =
      headers ? soup_message_headers_get_list(headers, "Content-Disposition") : nullptr;
  if (disposition) result.contentDisposition = disposition;
  return result;
}

void applyNavigationActionPolicy(WebKitPolicyDecision* decision, NavigationActionPolicy policy) {
  switch (policy) {
    case NavigationActionPolicy::allow:
      webkit_policy_decision_use(decision);
      return;
    case NavigationActionPolicy::download:
      webkit_policy_decision_download(decision);
      return;
    case NavigationActionPolicy::cancel:
      break;
  }
  webkit_policy_decision_ignore(decision);
}

void applyNavigationResponsePolicy(WebKitPolicyDecision* decision,
                                   NavigationResponsePolicy policy) {
  if (policy == NavigationResponsePolicy::download) {
    webkit_policy_decision_download(decision);
  } else {
    webkit_policy_decision_use(decision);
  }
}

DownloadError downloadErrorFrom(const GError* error) {
  if (!error) return DownloadError{0, {}};
  if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER)) {
    return DownloadError{kDownloadCancelledCode, error->message ? error->message : ""};
  }
  return DownloadError{error->code, error->message ? error->message : ""};
}

}  // namespace lumivant::gtk
