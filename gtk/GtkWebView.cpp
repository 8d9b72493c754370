#include "GtkWebView.h"

#include <string>
#include <utility>
#include <vector>

#include "DeveloperTools.h"
#include "PageScriptMessage.h"
#include "ScriptResultText.h"
#include "SoftwareRendering.h"
#include "SpellCheckingLanguages.h"
#include "WebContentSandbox.h"
#include "WebKitConversions.h"
#include "host/EngineMemory.h"

namespace lumivant::gtk {

namespace {

// Text fields are checked in the desktop's languages that have a dictionary
// installed; a field that opts out (spellcheck="false", as code editors do)
// stays unchecked.
void checkSpellingInDesktopLanguages(WebKitWebContext* context) {
  std::vector<std::string> localeNames;
  for (const gchar* const* name = g_get_language_names(); *name; ++name) {
    localeNames.emplace_back(*name);
  }
  const std::vector<std::string> languages = spellCheckingLanguages(localeNames);
  if (languages.empty()) return;
  std::vector<const gchar*> names;
  names.reserve(languages.size() + 1);
  for (const std::string& language : languages) names.push_back(language.c_str());
  names.push_back(nullptr);
  webkit_web_context_set_spell_checking_languages(context, names.data());
  webkit_web_context_set_spell_checking_enabled(context, TRUE);
}

// A context whose website data all lies in the store's directories, cookies
// included, so that they survive between runs without being shared with any
// other store or WebKitGTK program.
GObjectPtr<WebKitWebContext> makePersistentContext(const WebsiteDataStore& store,
                                                   const std::string& webProcessModules,
                                                   WebContentSandboxCheck* sandboxCheck) {
  auto manager = GObjectPtr<WebKitWebsiteDataManager>::adopt(webkit_website_data_manager_new(
      "base-data-directory", store.dataDirectory.c_str(), "base-cache-directory",
      store.cacheDirectory.c_str(), nullptr));
  // The engine takes the web process's memory settings only as the context is made.
  g_autoptr(WebKitMemoryPressureSettings) memory = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_memory_limit(memory, kOneOriginEngineMemory.limitMiB);
  webkit_memory_pressure_settings_set_conservative_threshold(
      memory, kOneOriginEngineMemory.conservativeThreshold);
  webkit_memory_pressure_settings_set_strict_threshold(memory,
                                                       kOneOriginEngineMemory.strictThreshold);
  webkit_memory_pressure_settings_set_poll_interval(memory,
                                                    kOneOriginEngineMemory.pollIntervalSeconds);
  auto context = GObjectPtr<WebKitWebContext>::adopt(
      WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager",
                                      manager.get(), "memory-pressure-settings", memory, nullptr)));
  const std::string cookies = store.dataDirectory + "/cookies.sqlite";
  webkit_cookie_manager_set_persistent_storage(webkit_web_context_get_cookie_manager(context.get()),
                                               cookies.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  if (!webProcessModules.empty()) {
    webkit_web_context_set_web_extensions_directory(context.get(), webProcessModules.c_str());
  }
  // Before the warm-up starts the first web process.
  if (sandboxCheck) {
    sandboxWebContent(context.get(), webProcessModules, *sandboxCheck);
  } else {
    WebContentSandboxCheck check;
    sandboxWebContent(context.get(), webProcessModules, check);
  }
  checkSpellingInDesktopLanguages(context.get());
  return context;
}

using ScriptCompletion = std::function<void(std::optional<std::string>)>;

void onScriptEvaluatedHere(GObject* view, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptCompletion> completion(static_cast<ScriptCompletion*>(data));
  g_autoptr(GError) error = nullptr;
  g_autoptr(JSCValue) value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  (*completion)(error ? std::nullopt : scriptResultText(value));
}

// The engine calls back exactly once, with an error if the view goes away.
void evaluateHere(WebKitWebView* view, const std::string& script, ScriptCompletion completion) {
  webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, onScriptEvaluatedHere,
                                      new ScriptCompletion(std::move(completion)));
}

struct ScriptInPage {
  std::string script;
  ScriptCompletion completion;
};

void onScriptEvaluatedInPage(GObject* view, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptInPage> sent(static_cast<ScriptInPage*>(data));
  g_autoptr(GError) error = nullptr;
  g_autoptr(WebKitUserMessage) reply =
      webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (g_error_matches(error, WEBKIT_USER_MESSAGE_ERROR, WEBKIT_USER_MESSAGE_UNHANDLED_MESSAGE)) {
    // No module in the web process.
    evaluateHere(WEBKIT_WEB_VIEW(view), sent->script, std::move(sent->completion));
    return;
  }
  std::optional<std::string> text;
  GVariant* parameters = reply ? webkit_user_message_get_parameters(reply) : nullptr;
  if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE("ms"))) {
    g_autoptr(GVariant) value = g_variant_get_maybe(parameters);
    if (value) text = g_variant_get_string(value, nullptr);
  }
  sent->completion(std::move(text));
}

}  // namespace

GtkWebView::GtkWebView(const WebsiteDataStore& store, const std::string& webProcessModules,
                       WebContentSandboxCheck* sandboxCheck)
    : context_(makePersistentContext(store, webProcessModules, sandboxCheck)),
      standIns_([this](const NavigationAction& action) {
        // The opening click's: the shell loads it in this view on its own.
        userGestures_.navigationStarted(action.url.value_or(""), action.gesture != 0,
                                        action.gesture);
        delegates_->navigation.openedWindowNavigation(action);
      }) {
  // The view shares the warm-up's web process, started before the view itself.
  warmUp_.emplace(context_.get());
  GtkWidget* widget = webkit_web_view_new_with_related_view(warmUp_->blankView());
  view_ = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
  g_object_unref(widget);  // drop the sunk floating reference; view_ keeps one
  loadTimeout_.emplace([view = view_.get()] { webkit_web_view_stop_loading(view); });
  installWindowCloseScript();
  // Compiled filters are a cache: kept beside the view's other caches.
  confinement_.emplace(view_.get(), webkit_web_context_get_cookie_manager(context_.get()),
                       store.cacheDirectory + "/content-filters");
}

GtkWebView::~GtkWebView() {
  g_signal_handlers_disconnect_by_data(view_.get(), this);
  g_signal_handlers_disconnect_by_data(context_.get(), this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_.get()), this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_.get()), this);
}

void GtkWebView::setDelegates(const WebViewDelegates& delegates) {
  if (delegates_) return;  // given once
  delegates_.emplace(delegates);
  WebKitWebView* view = view_.get();
  g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(view, "create", G_CALLBACK(onCreate), this);
  g_signal_connect(view, "key-press-event", G_CALLBACK(onUserInput), this);
  g_signal_connect(view, "key-release-event", G_CALLBACK(onUserInput), this);
  g_signal_connect(view, "focus-out-event", G_CALLBACK(onUserInput), this);
  g_signal_connect(view, "button-press-event", G_CALLBACK(onUserInput), this);
  g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), this);
  g_signal_connect(view, "run-file-chooser", G_CALLBACK(onRunFileChooser), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
  g_signal_connect(view, "close", G_CALLBACK(onClose), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(onContextMenu), this);
  g_signal_connect(webkit_web_view_get_user_content_manager(view),
                   "script-message-received::lumivantWindowClose", G_CALLBACK(onWindowCloseMessage),
                   this);
  g_signal_connect(view, "permission-request", G_CALLBACK(onPermissionRequest), this);
  g_signal_connect(view, "show-notification", G_CALLBACK(onShowNotification), this);
  g_signal_connect(context_.get(), "download-started", G_CALLBACK(onDownloadStarted), this);
  g_signal_connect(webkit_web_view_get_back_forward_list(view), "changed",
                   G_CALLBACK(onBackForwardListChanged), this);
}

void GtkWebView::load(const Request& request) {
  loadTimeout_->start(request.timeoutSeconds);
  webkit_web_view_load_uri(view_.get(), request.url.c_str());
}

void GtkWebView::loadHTMLString(const std::string& html) {
  loadTimeout_->withdraw();
  webkit_web_view_load_html(view_.get(), html.c_str(), nullptr);
}

void GtkWebView::evaluateJavaScript(const std::string& script, ScriptCompletion completion) {
  // A message carries UTF-8 only.
  if (!g_utf8_validate(script.data(), static_cast<gssize>(script.size()), nullptr)) {
    evaluateHere(view_.get(), script, std::move(completion));
    return;
  }
  // The engine answers exactly once, with an error if the view goes away.
  webkit_web_view_send_message_to_page(
      view_.get(), webkit_user_message_new(kEvaluateInPage, g_variant_new_string(script.c_str())),
      nullptr, onScriptEvaluatedInPage, new ScriptInPage{script, std::move(completion)});
}

namespace compositing_workaround {

// Without compositing (WEBKIT_DISABLE_COMPOSITING_MODE: on a display whose
// OpenGL is software, SoftwareRendering.h, and a common remedy for broken GPU
// drivers) WebKitGTK 2.50 paints a transparent view black instead of letting
// the window show through. There the view paints the window's theme background
// itself, which looks the same. Remove once WebKitGTK composites transparent
// views in that mode.
GdkRGBA windowBackground(GtkWidget* widget) {
  GdkRGBA color{0.965, 0.961, 0.957, 1};  // Adwaita's window background
  gtk_style_context_lookup_color(gtk_widget_get_style_context(widget), "theme_bg_color", &color);
  color.alpha = 1;
  return color;
}

}  // namespace compositing_workaround

void GtkWebView::setDrawsBackground(bool draws) {
  // A transparent background lets the window's own background show wherever
  // the page paints nothing, including before the first page.
  GdkRGBA background{0, 0, 0, 0};
  if (draws) {
    background = GdkRGBA{1, 1, 1, 1};
  } else if (engineCompositingIsOff()) {
    background = compositing_workaround::windowBackground(widget());
  }
  webkit_web_view_set_background_color(view_.get(), &background);
}

void GtkWebView::reload() { webkit_web_view_reload(view_.get()); }

void GtkWebView::tryClose(std::function<void()> mayGo) {
  mayGo_ = std::move(mayGo);
  // Emits "close" once the page agrees, after its leave-page question if it
  // asks one; nothing at all when the user stays.
  webkit_web_view_try_close(view_.get());
}

// The view itself stays: the shell decides what its agreement leads to.
void GtkWebView::onClose(WebKitWebView*, gpointer self) {
  if (auto mayGo = std::exchange(static_cast<GtkWebView*>(self)->mayGo_, nullptr)) mayGo();
}

namespace {

std::optional<std::string> itemUri(WebKitBackForwardListItem* item) {
  const char* uri = item ? webkit_back_forward_list_item_get_uri(item) : nullptr;
  if (!uri) return std::nullopt;
  return std::string(uri);
}

// The addresses step by step from the current item, nearest first; step is
// -1 for the way back, 1 for the way forward.
std::vector<std::string> itemUris(WebKitBackForwardList* list, int step) {
  std::vector<std::string> uris;
  for (int offset = step;
       WebKitBackForwardListItem* item = webkit_back_forward_list_get_nth_item(list, offset);
       offset += step) {
    uris.push_back(itemUri(item).value_or(""));
  }
  return uris;
}

}  // namespace

BackForwardItems GtkWebView::backForwardItems() const {
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(view_.get());
  return BackForwardItems{itemUris(list, -1), itemUris(list, 1),
                          itemUri(webkit_back_forward_list_get_current_item(list))};
}

void GtkWebView::goBackOrForward(int steps) {
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(view_.get());
  WebKitBackForwardListItem* item = webkit_back_forward_list_get_nth_item(list, steps);
  if (item) webkit_web_view_go_to_back_forward_list_item(view_.get(), item);
}

void GtkWebView::setZoomLevel(double level) { webkit_web_view_set_zoom_level(view_.get(), level); }

void GtkWebView::confineToBackend(const BackendConfinement& confinement,
                                  std::function<void(std::optional<std::string> error)> done) {
  confinement_->confine(confinement, std::move(done));
}

void GtkWebView::liftConfinement(const std::string& cookieName) { confinement_->lift(cookieName); }

void GtkWebView::print() {
  auto operation = GObjectPtr<WebKitPrintOperation>::adopt(webkit_print_operation_new(view_.get()));
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget());
  // Returns once the dialog is closed; the printing itself goes on without it.
  webkit_print_operation_run_dialog(operation.get(),
                                    GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr);
}

void GtkWebView::enableDeveloperTools() { gtk::enableDeveloperTools(view_.get()); }

void GtkWebView::showDeveloperTools() { gtk::showDeveloperTools(view_.get()); }

void GtkWebView::onBackForwardListChanged(WebKitBackForwardList*, WebKitBackForwardListItem*,
                                          gpointer, gpointer self) {
  static_cast<GtkWebView*>(self)->delegates_->pageLoads.backForwardListDidChange();
}

void GtkWebView::executeEditingCommand(const char* command) {
  webkit_web_view_execute_editing_command(view_.get(), command);
}

}  // namespace lumivant::gtk
