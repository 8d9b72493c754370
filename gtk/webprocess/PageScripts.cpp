// Loaded by the engine into the shell's web process: evaluates the scripts the
// shell sends (PageScriptMessage.h) in the page's main world, as the engine's
// own evaluation does, and answers with the result's text.

#include <webkit2/webkit-web-extension.h>

#include "PageScriptMessage.h"
#include "ScriptResultText.h"

namespace {

using lumivant::gtk::kEvaluateInPage;

// Nothing when the script throws, or the textual form of its result does.
std::optional<std::string> evaluate(WebKitWebPage* page, const char* script) {
  // Deprecated for site isolation, where a page's main frame may live in
  // another process; WebKitGTK 4.1 keeps it in the page's.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  WebKitFrame* mainFrame = webkit_web_page_get_main_frame(page);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_autoptr(JSCContext) context = webkit_frame_get_js_context(mainFrame);
  g_autoptr(JSCValue) value = jsc_context_evaluate(context, script, -1);
  std::optional<std::string> text;
  if (!jsc_context_get_exception(context)) text = lumivant::gtk::scriptResultText(value);
  if (jsc_context_get_exception(context)) {
    jsc_context_clear_exception(context);
    return std::nullopt;
  }
  return text;
}

gboolean onUserMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), kEvaluateInPage) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  std::optional<std::string> text;
  if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING)) {
    text = evaluate(page, g_variant_get_string(parameters, nullptr));
  }
  // A GVariant string must be UTF-8 (the page's lone surrogates are not).
  g_autofree char* valid = text ? g_utf8_make_valid(text->c_str(), -1) : nullptr;
  GVariant* result =
      g_variant_new_maybe(G_VARIANT_TYPE_STRING, valid ? g_variant_new_string(valid) : nullptr);
  webkit_user_message_send_reply(message, webkit_user_message_new(kEvaluateInPage, result));
  return TRUE;
}

void onPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "user-message-received", G_CALLBACK(onUserMessage), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), nullptr);
}
