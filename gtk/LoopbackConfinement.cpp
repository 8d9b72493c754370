#include "LoopbackConfinement.h"

#include <utility>

namespace lumivant::gtk {

namespace {

// An address's scheme and host, as the engine's parser writes them: the
// scheme in lower case, the host followed by a port, a path, a query or a
// fragment. The engine's rules have no alternation, so each host is a rule.
constexpr const char* kAnyScheme = "^[a-z][-+.a-z0-9]*://";
constexpr const char* kLoopbackHosts[] = {
    R"(127\\.[0-9]+\\.[0-9]+\\.[0-9]+[:/?#])",
    R"(([^/?#]*\\.)?localhost\\.?[:/?#])",
    R"(\\[::)",  // ::1, ::, and 127.0.0.1 mapped, which the parser writes ::ffff:7f00:1
    R"(0\\.0\\.0\\.0[:/?#])",
};

constexpr int kTenYearsInSeconds = 10 * 365 * 24 * 60 * 60;

// The secret's cookie, expired: added to the jar, it removes the cookie of
// that name, host and path, whatever secret it held.
SoupCookie* expiredSecretCookie(const std::string& cookieName) {
  SoupCookie* cookie = soup_cookie_new(cookieName.c_str(), "", "127.0.0.1", "/", 0);
  soup_cookie_set_http_only(cookie, TRUE);
  return cookie;
}

SoupCookie* secretCookie(const BackendConfinement& confinement) {
  if (confinement.secret.empty()) return expiredSecretCookie(confinement.cookieName);
  // A persistent cookie, kept in the view's cookie database: a session cookie
  // lives only in the engine's network process and would be gone, with the
  // backend refusing every page, once that process crashed and was started
  // again. The database is the user's own, and the next run replaces the
  // cookie with its own secret; an old one opens nothing, since every run's
  // backend answers a new secret.
  SoupCookie* cookie = soup_cookie_new(confinement.cookieName.c_str(), confinement.secret.c_str(),
                                       "127.0.0.1", "/", kTenYearsInSeconds);
  soup_cookie_set_http_only(cookie, TRUE);
  // Lax rather than strict: the reload that follows a crash of the page's
  // process has no site of its own, and a strict cookie would stay behind.
  soup_cookie_set_same_site_policy(cookie, SOUP_SAME_SITE_POLICY_LAX);
  return cookie;
}

std::string filterIdentifier(uint16_t port, const std::string& rules) {
  // The rules' digest in the name: a shell whose rules differ never loads
  // another's compiled filter.
  g_autofree char* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, rules.c_str(), -1);
  return "backend-port-" + std::to_string(port) + "-" + std::string(digest, 16);
}

}  // namespace

std::string loopbackFilterRules(uint16_t port) {
  std::string rules = "[\n";
  for (const char* host : kLoopbackHosts) {
    rules += R"(  {"trigger": {"url-filter": ")" + std::string(kAnyScheme) + host +
             R"("}, "action": {"type": "block"}},)" + "\n";
  }
  // The backend's own port, over HTTP and WebSocket; none without a backend.
  for (const char* scheme : {"http", "ws"}) {
    if (port == 0) break;
    rules += R"(  {"trigger": {"url-filter": "^)" + std::string(scheme) + R"(://127\\.0\\.0\\.1:)" +
             std::to_string(port) + R"([/?#]"}, "action": {"type": "ignore-previous-rules"}},)" +
             "\n";
  }
  rules.erase(rules.size() - 2);  // the last rule's comma
  return rules + "\n]\n";
}

// One confine(): its cookie and its filter, each in place when its step has
// finished, and the done that runs after both.
struct LoopbackConfinement::Attempt {
  GObjectPtr<GCancellable> cancellable = GObjectPtr<GCancellable>::adopt(g_cancellable_new());
  GObjectPtr<WebKitUserContentManager> contents;
  GObjectPtr<WebKitUserContentFilterStore> store;
  std::string identifier;
  std::string rules;
  int stepsLeft = 2;
  std::optional<std::string> error;
  Done done;

  bool cancelled() const { return g_cancellable_is_cancelled(cancellable.get()); }
  void stepFinished(GError* failure) {
    if (cancelled()) return;
    if (failure && !error) error = failure->message;
    if (--stepsLeft == 0 && done) std::exchange(done, nullptr)(error);
  }
};

namespace {

using AttemptRef = std::shared_ptr<LoopbackConfinement::Attempt>;

// Each asynchronous call is given its own reference, released by its callback.
gpointer hold(const AttemptRef& attempt) { return new AttemptRef(attempt); }
AttemptRef release(gpointer data) {
  std::unique_ptr<AttemptRef> held(static_cast<AttemptRef*>(data));
  return *held;
}

void onCookieAdded(GObject* cookies, GAsyncResult* result, gpointer data) {
  const AttemptRef attempt = release(data);
  g_autoptr(GError) error = nullptr;
  webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(cookies), result, &error);
  attempt->stepFinished(error);
}

void useFilter(const AttemptRef& attempt, WebKitUserContentFilter* filter) {
  if (attempt->cancelled()) return;
  webkit_user_content_manager_remove_all_filters(attempt->contents.get());
  webkit_user_content_manager_add_filter(attempt->contents.get(), filter);
}

void onFilterSaved(GObject* store, GAsyncResult* result, gpointer data) {
  const AttemptRef attempt = release(data);
  g_autoptr(GError) error = nullptr;
  WebKitUserContentFilter* filter = webkit_user_content_filter_store_save_finish(
      WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
  if (filter) {
    useFilter(attempt, filter);
    webkit_user_content_filter_unref(filter);
  }
  attempt->stepFinished(error);
}

void onFilterLoaded(GObject* store, GAsyncResult* result, gpointer data) {
  const AttemptRef attempt = release(data);
  g_autoptr(GError) error = nullptr;
  WebKitUserContentFilter* filter = webkit_user_content_filter_store_load_finish(
      WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
  if (filter) {
    useFilter(attempt, filter);
    webkit_user_content_filter_unref(filter);
    attempt->stepFinished(nullptr);
    return;
  }
  if (attempt->cancelled()) return;
  // Not compiled for this port yet (or damaged): compiled now, and kept.
  g_autoptr(GBytes) rules = g_bytes_new(attempt->rules.data(), attempt->rules.size());
  webkit_user_content_filter_store_save(attempt->store.get(), attempt->identifier.c_str(), rules,
                                        attempt->cancellable.get(), onFilterSaved, hold(attempt));
}

}  // namespace

LoopbackConfinement::LoopbackConfinement(WebKitWebView* view, WebKitCookieManager* cookies,
                                         std::string filterDirectory)
    : contents_(GObjectPtr<WebKitUserContentManager>::retain(
          webkit_web_view_get_user_content_manager(view))),
      cookies_(GObjectPtr<WebKitCookieManager>::retain(cookies)),
      filterDirectory_(std::move(filterDirectory)) {}

LoopbackConfinement::~LoopbackConfinement() {
  if (current_) g_cancellable_cancel(current_->cancellable.get());
}

void LoopbackConfinement::confine(const BackendConfinement& confinement, Done done) {
  if (current_) g_cancellable_cancel(current_->cancellable.get());
  auto attempt = std::make_shared<Attempt>();
  attempt->contents = GObjectPtr<WebKitUserContentManager>::retain(contents_.get());
  attempt->rules = loopbackFilterRules(confinement.port);
  attempt->identifier = filterIdentifier(confinement.port, attempt->rules);
  attempt->done = std::move(done);
  g_mkdir_with_parents(filterDirectory_.c_str(), 0700);
  attempt->store = GObjectPtr<WebKitUserContentFilterStore>::adopt(
      webkit_user_content_filter_store_new(filterDirectory_.c_str()));
  current_ = attempt;

  SoupCookie* cookie = secretCookie(confinement);
  webkit_cookie_manager_add_cookie(cookies_.get(), cookie, attempt->cancellable.get(),
                                   onCookieAdded, hold(attempt));
  soup_cookie_free(cookie);
  webkit_user_content_filter_store_load(attempt->store.get(), attempt->identifier.c_str(),
                                        attempt->cancellable.get(), onFilterLoaded, hold(attempt));
}

void LoopbackConfinement::lift(const std::string& cookieName) {
  if (current_) g_cancellable_cancel(current_->cancellable.get());
  current_.reset();
  webkit_user_content_manager_remove_all_filters(contents_.get());
  // Deleting needs the cookie's value, which an earlier run's cookie does not
  // share; an expired one of the same name, host and path replaces any.
  SoupCookie* cookie = expiredSecretCookie(cookieName);
  webkit_cookie_manager_add_cookie(cookies_.get(), cookie, nullptr, nullptr, nullptr);
  soup_cookie_free(cookie);
}

}  // namespace lumivant::gtk
