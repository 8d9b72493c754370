#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/MainMenu.h"
#include "host/WebViewDelegate.h"
#include "host/WindowSettings.h"

namespace lumivant {

// A page request. The cache policy is always the engine's default.
struct Request {
  std::string url;
  double timeoutSeconds = 60.0;
};

// Lets whoever began a sheet take it back once its question no longer
// stands. The host never shows a sheet withdrawn while it waits for its turn,
// and closes one that shows; either answers 0.
class SheetWithdrawal {
 public:
  void withdraw() {
    if (withdrawn_) return;
    withdrawn_ = true;
    if (auto close = std::move(close_)) close();
  }
  bool withdrawn() const { return withdrawn_; }
  // The host's way to close the sheet while it shows; cleared (null) once it
  // has closed.
  void whileShown(std::function<void()> close) { close_ = std::move(close); }

 private:
  bool withdrawn_ = false;
  std::function<void()> close_;
};

// An alert sheet. With no buttons the sheet shows one default button. The
// completion receives 1000 for the first button, 1001 for the second and so on,
// and 0 when the sheet is dismissed without a button or withdrawn.
struct AlertSheet {
  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;
  // Set for a question that can stop standing before the user answers it.
  std::shared_ptr<SheetWithdrawal> withdrawal = nullptr;
};
inline constexpr long kAlertFirstButtonReturn = 1000;

// A sheet asking for one line of text: the message, a field holding the
// default text, and the buttons, answered as for an alert together with the
// field's text at the moment the sheet closed.
struct PromptSheet {
  std::string messageText;
  std::string defaultText;
  std::vector<std::string> buttons;
};

// One download in flight as the window shows it below the web view: its text,
// how far it has come (nothing while its size is unknown) and what cancels it.
struct DownloadRow {
  uint64_t id = 0;
  std::string label;
  std::optional<double> fraction;
  std::function<void()> cancel;
};

// Which way the find bar steps from the match it is at.
enum class FindDirection { next, previous };

struct SavePanelSheet {
  std::string title;
  std::string nameFieldStringValue;
  bool canCreateDirectories = false;
};

struct OpenPanelSheet {
  bool allowsMultipleSelection = false;
  bool canChooseDirectories = false;
  bool canChooseFiles = true;
};

// Where a web view keeps website data: cookies, local storage, IndexedDB and
// the rest under dataDirectory, caches under cacheDirectory.
struct WebsiteDataStore {
  std::string dataDirectory;
  std::string cacheDirectory;
};

// What keeps the view's pages to the local backend: the secret the view
// presents to it as a cookie with every request, WebSocket handshakes
// included, and the backend's port, the one port of a loopback address that
// the pages may reach. Cookies are kept per host, not per port, so any other
// port of 127.0.0.1 that a page reached would be given the secret too.
struct BackendConfinement {
  uint16_t port = 0;
  std::string cookieName;
  std::string secret;
};

// The view's history around the page it shows: the addresses back and
// forward, each list nearest first, and the page's own address.
struct BackForwardItems {
  std::vector<std::string> back;
  std::vector<std::string> forward;
  std::optional<std::string> current = std::nullopt;
};

// The one embedded web view. Called on the main thread only.
class WebView {
 public:
  virtual ~WebView() = default;
  // Tells the view which component answers each kind of its events. Given
  // once, right after the view is made and before anything is loaded into it;
  // the view reports nothing before.
  virtual void setDelegates(const WebViewDelegates& delegates) = 0;
  virtual void load(const Request& request) = 0;
  // Loads a whole document with no base URL, so the page's address is about:blank.
  virtual void loadHTMLString(const std::string& html) = 0;
  // The completion runs once on the main thread with the result's text, or with
  // nothing when the script failed or gave no value.
  virtual void evaluateJavaScript(const std::string& script,
                                  std::function<void(std::optional<std::string>)> completion) = 0;
  virtual void setDrawsBackground(bool draws) = 0;
  // Loads the page shown now once more.
  virtual void reload() = 0;
  // Asks the page whether it may go, running its leave-page handler. mayGo
  // runs on the main thread once it may: at once without a handler, or after
  // the user chose to leave in the question the handler asked for (which comes
  // through ScriptDialogDelegate::runBeforeUnloadConfirm); never when the user stays.
  virtual void tryClose(std::function<void()> mayGo) = 0;
  virtual BackForwardItems backForwardItems() const = 0;
  // One step through the history; the navigation is decided like any other.
  // Goes that many steps through the history: back when negative.
  virtual void goBackOrForward(int steps) = 0;
  // The page's zoom, 1 being its own size; it stays for every later page.
  virtual void setZoomLevel(double level) = 0;
  // The system's print dialog for the page shown now.
  virtual void print() = 0;
  // Lets the app's author inspect the pages: the engine's developer tools
  // become available, and the page's context menu offers them. Off until this
  // is called.
  virtual void enableDeveloperTools() = 0;
  // Opens the developer tools, in a window of their own; nothing unless enabled.
  virtual void showDeveloperTools() = 0;
  // Presents the secret as an HttpOnly cookie of 127.0.0.1 (kept in the
  // view's cookie store, where it survives a crash of the engine) and
  // refuses the pages every request to any other port of a loopback address
  // (127.0.0.0/8, localhost, ::1, 0.0.0.0). done runs once on the main thread
  // when both are in place, or with the engine's reason when they could not
  // be; a later call takes the place of one still under way, whose done then
  // never runs. With no port and no secret (port 0, an empty secret) the
  // view presents nothing, takes back a secret presented before, and refuses
  // every loopback port.
  virtual void confineToBackend(const BackendConfinement& confinement,
                                std::function<void(std::optional<std::string> error)> done) = 0;
  // Presents no secret and refuses nothing any more: for an organisation
  // server's pages. The cookie named cookieName goes, whichever run presented it.
  virtual void liftConfinement(const std::string& cookieName) = 0;
};

// The main window: the parent of every sheet. Each completion runs exactly once
// on the main thread when its sheet closes.
class Window {
 public:
  virtual ~Window() = default;
  virtual void beginAlertSheet(const AlertSheet& alert,
                               std::function<void(long response)> done) = 0;
  virtual void beginPromptSheet(const PromptSheet& prompt,
                                std::function<void(long response, std::string text)> done) = 0;
  // Shows exactly these rows, in this order, below the web view and never over
  // it; with no rows nothing of them is shown.
  virtual void showDownloadRows(const std::vector<DownloadRow>& rows) = 0;
  // Gives the chosen file's path, or nothing when the panel was cancelled.
  virtual void beginSavePanelSheet(const SavePanelSheet& panel,
                                   std::function<void(std::optional<std::string>)> done) = 0;
  // Gives the chosen paths in the panel's order, or nothing when cancelled.
  virtual void beginOpenPanelSheet(
      const OpenPanelSheet& panel,
      std::function<void(std::optional<std::vector<std::string>>)> done) = 0;
  // A spinner with the text, centred over the web view and drawn by the window
  // itself, not by a page; the window's background shows around it.
  virtual void showStartingIndicator(const std::string& text) = 0;
  virtual void hideStartingIndicator() = 0;
  // Has assistive technology say the text at once, wherever the focus is;
  // nothing is shown.
  virtual void announce(const std::string& text) = 0;
  // The bar that finds text in the page, below the web view, with the focus
  // in its search field.
  virtual void showFindBar() = 0;
  // Moves to the next or previous match of the find bar's text, from
  // wherever the focus is, and shows the bar if it was closed. With no text
  // to find it shows the bar as showFindBar does.
  virtual void findAgain(FindDirection direction) = 0;
  // Shows the page alone on the whole screen, or the window as it was.
  virtual void toggleFullScreen() = 0;
};

// A notification on the desktop, under the application's name and icon.
struct DesktopNotification {
  std::string applicationName;
  std::string iconPath;
  std::string title;
  std::string body;
};

// Whether a launch takes the place of the shell already running for its data
// root (the relaunch after a self-update) or leaves that one its place.
enum class InstanceTakeover { no, replaceRunning };

// The toolkit: what the core asks of the window system. Called on the main thread only.
class Host {
 public:
  virtual ~Host() = default;
  // A web view on the given persistent website data store, reporting to the
  // delegates it is given next (WebView::setDelegates).
  virtual std::shared_ptr<WebView> createWebView(const WebsiteDataStore& store) = 0;
  virtual void installMainMenu(const MainMenu& menu) = 0;
  // Greys out the installed menu's item for action, or makes it usable again;
  // a greyed item's keys do nothing of the menu's.
  virtual void setMenuActionEnabled(MenuAction action, bool enabled) = 0;
  virtual std::shared_ptr<Window> createMainWindow(const WindowSettings& settings,
                                                   WebView& content) = 0;
  virtual void activate() = 0;
  // Hands an absolute URL to the system's default handler for its scheme.
  // failed runs once on the main thread with the system's reason when no
  // handler could be started; it is not called when one was.
  virtual void openExternally(const std::string& url,
                              std::function<void(const std::string& reason)> failed) = 0;
  // Hands the notification to the desktop's notification service; one the
  // desktop cannot show is dropped.
  virtual void showDesktopNotification(const DesktopNotification& notification) = 0;
  // Quits through the application's normal termination path, which calls
  // AppDelegate::applicationWillTerminate before the event loop ends.
  virtual void terminate() = 0;

  // What the launch asks of the system before the event loop runs and before
  // any window exists; the application's launch decides whether and when.

  // Registers this process as the shell that runs for a data root, under that
  // root's application id. False when another process already runs it and
  // keeps its place; with replaceRunning this one takes that place instead.
  virtual bool claimInstance(const std::string& applicationId, InstanceTakeover takeover) = 0;
  // Asks the shell that holds the claim to bring its window to the front,
  // handing on the launcher's activation token. False when it did not answer
  // within a few seconds: it is stopped or hung.
  virtual bool activateRunningInstance() = 0;
  // Registers afresh after a shell that took this one's place went again
  // without showing its window, so that later launches find this one.
  virtual void reclaimInstance() = 0;
  // Replaces this process's image with program, run with this process's own
  // arguments. Returns only when that failed, with the system's reason.
  virtual std::string executeInstead(const std::string& program) = 0;
  // Connects to the display; nothing can be shown before. False when there
  // is no display to connect to (none named, or it turned the shell away).
  virtual bool openDisplay() = 0;
  // Waits, a few seconds at most, until the shell whose place this one took
  // has gone, so that the backend's port and the window's state are free
  // again. Returns at once when this one took nobody's place.
  virtual void awaitReplacedInstance() = 0;
  // The message page's HTML template, one of the bundle's resources.
  virtual std::string messagePageTemplate() const = 0;
};

}  // namespace lumivant
