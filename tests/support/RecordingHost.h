#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/Host.h"
#include "host/WebViewDelegate.h"

namespace lumivant::testing {

// The message page's template as the source tree holds it, which the build
// compiles into the shell.
inline std::string messagePageTemplateText() {
  std::ifstream file(LUMIVANT_MESSAGE_PAGE_TEMPLATE, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A host that records what the core asks of it, in order, in one log shared by
// the host, its web view and its window. Sheets stay open until the test
// answers them through the pending completions.
class RecordingHost final : public Host {
 public:
  struct Log {
    std::vector<std::string> calls;
    std::vector<Request> loads;
    std::vector<std::string> htmlLoads;
    std::vector<std::string> scripts;
    std::vector<std::string> opened;  // URLs handed to the system
    std::vector<AlertSheet> alerts;
    std::vector<SavePanelSheet> savePanels;
    std::vector<OpenPanelSheet> openPanels;
    std::vector<PromptSheet> prompts;
    std::vector<std::function<void(long, std::string)>> pendingPrompts;
    std::vector<std::vector<DownloadRow>> downloadRows;  // every showing, in order
    std::vector<std::string> announcements;  // what assistive technology was told, in order
    std::vector<std::function<void(std::optional<std::string>)>> pendingScripts;
    std::vector<std::function<void(long)>> pendingAlerts;
    // The alerts, by index, that their askers withdrew while they showed.
    std::vector<size_t> withdrawnAlerts;
    std::vector<std::function<void()>> pendingCloses;
    std::vector<std::function<void(std::optional<std::string>)>> pendingSavePanels;
    std::vector<std::function<void(std::optional<std::vector<std::string>>)>> pendingOpenPanels;
    MainMenu menu;
    std::vector<std::pair<MenuAction, bool>> menuEnabling;  // every change, in order
    BackForwardItems history;                               // what the web view reports
    std::vector<double> zoomLevels;
    std::vector<BackendConfinement> confinements;  // every confineToBackend, in order
    // Unless the test holds them, confinements are in place at once.
    bool holdConfinements = false;
    std::vector<std::function<void(std::optional<std::string>)>> pendingConfinements;
    // What the web view was told answers its events, once it was.
    std::optional<WebViewDelegates> delegates;
    WindowSettings windowSettings;
    bool drawsBackground = true;
    int terminations = 0;
  };

  class RecordingWebView final : public WebView {
   public:
    explicit RecordingWebView(Log& log) : log_(log) {}
    void setDelegates(const WebViewDelegates& delegates) override {
      log_.calls.push_back("setDelegates");
      log_.delegates.emplace(delegates);
    }
    void load(const Request& request) override {
      log_.calls.push_back("load " + request.url);
      log_.loads.push_back(request);
    }
    void loadHTMLString(const std::string& html) override {
      log_.calls.push_back("loadHTMLString");
      log_.htmlLoads.push_back(html);
    }
    void evaluateJavaScript(const std::string& script,
                            std::function<void(std::optional<std::string>)> completion) override {
      log_.calls.push_back("evaluateJavaScript " + script);
      log_.scripts.push_back(script);
      log_.pendingScripts.push_back(std::move(completion));
    }
    void setDrawsBackground(bool draws) override {
      log_.calls.push_back(draws ? "setDrawsBackground true" : "setDrawsBackground false");
      log_.drawsBackground = draws;
    }
    void reload() override { log_.calls.push_back("reload"); }
    void tryClose(std::function<void()> mayGo) override {
      log_.calls.push_back("tryClose");
      log_.pendingCloses.push_back(std::move(mayGo));
    }
    BackForwardItems backForwardItems() const override { return log_.history; }
    void goBackOrForward(int steps) override {
      log_.calls.push_back("goBackOrForward " + std::to_string(steps));
    }
    void setZoomLevel(double level) override {
      log_.calls.push_back("setZoomLevel");
      log_.zoomLevels.push_back(level);
    }
    void print() override { log_.calls.push_back("print"); }
    void enableDeveloperTools() override { log_.calls.push_back("enableDeveloperTools"); }
    void showDeveloperTools() override { log_.calls.push_back("showDeveloperTools"); }
    void confineToBackend(const BackendConfinement& confinement,
                          std::function<void(std::optional<std::string>)> done) override {
      log_.calls.push_back("confineToBackend");
      log_.confinements.push_back(confinement);
      if (log_.holdConfinements) {
        log_.pendingConfinements.push_back(std::move(done));
      } else {
        done(std::nullopt);
      }
    }
    void liftConfinement(const std::string& cookieName) override {
      log_.calls.push_back("liftConfinement " + cookieName);
    }

   private:
    Log& log_;
  };

  class RecordingWindow final : public Window {
   public:
    explicit RecordingWindow(Log& log) : log_(log) {}
    void beginAlertSheet(const AlertSheet& alert, std::function<void(long)> done) override {
      log_.calls.push_back("beginAlertSheet " + alert.messageText);
      log_.alerts.push_back(alert);
      log_.pendingAlerts.push_back(done);
      // A withdrawn alert closes, as a window does, answering 0.
      if (alert.withdrawal) {
        alert.withdrawal->whileShown([&log = log_, index = log_.alerts.size() - 1, done] {
          log.withdrawnAlerts.push_back(index);
          done(0);
        });
      }
    }
    void beginPromptSheet(const PromptSheet& prompt,
                          std::function<void(long, std::string)> done) override {
      log_.calls.push_back("beginPromptSheet " + prompt.messageText);
      log_.prompts.push_back(prompt);
      log_.pendingPrompts.push_back(std::move(done));
    }
    void showDownloadRows(const std::vector<DownloadRow>& rows) override {
      log_.calls.push_back("showDownloadRows " + std::to_string(rows.size()));
      log_.downloadRows.push_back(rows);
    }
    void beginSavePanelSheet(const SavePanelSheet& panel,
                             std::function<void(std::optional<std::string>)> done) override {
      log_.calls.push_back("beginSavePanelSheet " + panel.nameFieldStringValue);
      log_.savePanels.push_back(panel);
      log_.pendingSavePanels.push_back(std::move(done));
    }
    void beginOpenPanelSheet(
        const OpenPanelSheet& panel,
        std::function<void(std::optional<std::vector<std::string>>)> done) override {
      log_.calls.push_back("beginOpenPanelSheet");
      log_.openPanels.push_back(panel);
      log_.pendingOpenPanels.push_back(std::move(done));
    }
    void showStartingIndicator(const std::string& text) override {
      log_.calls.push_back("showStartingIndicator " + text);
    }
    void hideStartingIndicator() override { log_.calls.push_back("hideStartingIndicator"); }
    void announce(const std::string& text) override {
      log_.calls.push_back("announce " + text);
      log_.announcements.push_back(text);
    }
    void showFindBar() override { log_.calls.push_back("showFindBar"); }
    void findAgain(FindDirection direction) override {
      log_.calls.push_back(direction == FindDirection::next ? "findNext" : "findPrevious");
    }
    void toggleFullScreen() override { log_.calls.push_back("toggleFullScreen"); }

   private:
    Log& log_;
  };

  // A web view and a window that record into the log, for a component that
  // receives them without a launch.
  std::shared_ptr<WebView> makeWebView() { return std::make_shared<RecordingWebView>(log); }
  std::shared_ptr<Window> makeWindow() { return std::make_shared<RecordingWindow>(log); }

  std::shared_ptr<WebView> createWebView(const WebsiteDataStore& store) override {
    log.calls.push_back("createWebView");
    websiteDataStore = store;
    return std::make_shared<RecordingWebView>(log);
  }
  void installMainMenu(const MainMenu& menu) override {
    log.calls.push_back("installMainMenu");
    log.menu = menu;
  }
  void setMenuActionEnabled(MenuAction action, bool enabled) override {
    log.menuEnabling.emplace_back(action, enabled);
  }
  // The last enabling given for action; menu items start usable.
  bool isMenuActionEnabled(MenuAction action) const {
    for (auto it = log.menuEnabling.rbegin(); it != log.menuEnabling.rend(); ++it) {
      if (it->first == action) return it->second;
    }
    return true;
  }
  std::shared_ptr<Window> createMainWindow(const WindowSettings& settings, WebView&) override {
    log.calls.push_back("createMainWindow");
    log.windowSettings = settings;
    return std::make_shared<RecordingWindow>(log);
  }
  void activate() override { log.calls.push_back("activate"); }
  void openExternally(const std::string& url,
                      std::function<void(const std::string& reason)> failed) override {
    log.calls.push_back("openExternally " + url);
    log.opened.push_back(url);
    if (handOverFailure) failed(*handOverFailure);
  }
  void showDesktopNotification(const DesktopNotification& notification) override {
    log.calls.push_back("showDesktopNotification " + notification.title);
    notifications.push_back(notification);
  }
  void terminate() override {
    log.calls.push_back("terminate");
    ++log.terminations;
    if (onTerminate) onTerminate();
  }
  std::string messagePageTemplate() const override { return messagePageTemplateText(); }

  bool claimInstance(const std::string& applicationId, InstanceTakeover takeover) override {
    log.calls.push_back(takeover == InstanceTakeover::replaceRunning
                            ? "claimInstance replacing the running shell"
                            : "claimInstance");
    claimedApplicationId = applicationId;
    return !anotherInstanceRuns;
  }
  bool activateRunningInstance() override {
    log.calls.push_back("activateRunningInstance");
    return runningInstanceAnswers;
  }
  void reclaimInstance() override { log.calls.push_back("reclaimInstance"); }
  // Never replaces the test: answers as an exec that failed.
  std::string executeInstead(const std::string& program) override {
    log.calls.push_back("executeInstead " + program);
    return "Exec format error";
  }
  bool openDisplay() override {
    log.calls.push_back("openDisplay");
    return displayOpens;
  }
  void awaitReplacedInstance() override { log.calls.push_back("awaitReplacedInstance"); }

  // The delegates the web view reports to; the view must have been given them.
  const WebViewDelegates& delegates() const { return log.delegates.value(); }

  Log log;
  std::vector<DesktopNotification> notifications;
  // The system's reason when hand-overs are to fail; they succeed without one.
  std::optional<std::string> handOverFailure;
  WebsiteDataStore websiteDataStore;
  // What the application does on terminate, for example call applicationWillTerminate.
  std::function<void()> onTerminate;
  // The instance gate as a launch finds it.
  bool anotherInstanceRuns = false;
  bool runningInstanceAnswers = true;
  bool displayOpens = true;
  std::string claimedApplicationId;
};

}  // namespace lumivant::testing
