#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

#include "host/WebViewDelegate.h"

// Reading the engine's values into the core's plain structs, and mapping the
// core's answers back. No decisions are made here.
namespace lumivant::gtk {

NavigationType navigationTypeFrom(WebKitNavigationType type);

// The action's request URL, type, user gesture and download request. WebKitGTK reports no
// download attribute on a navigation action: for a link that carries one, the
// engine itself turns an allowed navigation into a download, so the action is
// read with shouldPerformDownload false and the outcome is the same.
NavigationAction navigationActionFrom(WebKitNavigationAction* action);

// Whether the view can show the response's type, and its Content-Disposition.
NavigationResponse navigationResponseFrom(WebKitResponsePolicyDecision* decision);

void applyNavigationActionPolicy(WebKitPolicyDecision* decision, NavigationActionPolicy policy);
void applyNavigationResponsePolicy(WebKitPolicyDecision* decision, NavigationResponsePolicy policy);

// A download failure as the core sees it: a cancellation, by the page or by
// the user at the save dialog, has the cancellation code.
DownloadError downloadErrorFrom(const GError* error);

}  // namespace lumivant::gtk
