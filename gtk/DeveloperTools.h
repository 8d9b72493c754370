#pragma once

#include <webkit2/webkit2.h>

namespace lumivant::gtk {

// The engine's developer tools for the app's author: the inspector, and the
// context menu's item that opens it on the element under the pointer, named
// "检查元素" whatever the engine's own translation is.
void enableDeveloperTools(WebKitWebView* view);
// Opens the inspector in a window of its own; nothing unless enabled.
void showDeveloperTools(WebKitWebView* view);

}  // namespace lumivant::gtk
