#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumivant {

// The engine's navigation types, by their WebKit numbers. Only linkActivated is
// ever told apart from the rest.
enum class NavigationType {
  linkActivated = 0,
  formSubmitted,
  backForward,
  reload,
  formResubmitted,
  other = -1
};

enum class NavigationActionPolicy { cancel = 0, allow = 1, download = 2 };
enum class NavigationResponsePolicy { allow = 1, download = 2 };

struct NavigationAction {
  // The request's URL as the engine reports it; absent when the request has none.
  std::optional<std::string> url;
  NavigationType navigationType = NavigationType::other;
  // The page asked for a download, for example with a link's download attribute.
  bool shouldPerformDownload = false;
  // The engine saw the user start it, with a click or a key; a link that the
  // page's script activated on its own is no gesture.
  bool isUserGesture = false;
};

struct NavigationResponse {
  bool canShowMIMEType = true;
};

struct DownloadError {
  long code = 0;
  std::string localizedDescription;
};
// The code of a download that was cancelled, by the page or at the save dialog.
inline constexpr long kDownloadCancelledCode = -999;

struct OpenPanelParameters {
  bool allowsMultipleSelection = false;
  bool allowsDirectories = false;
};

// What the web view asks of the shell. Every call arrives on the main thread;
// every completion must be called exactly once.
class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;

  virtual NavigationActionPolicy decidePolicyForNavigationAction(
      const NavigationAction& action) = 0;
  virtual NavigationResponsePolicy decidePolicyForNavigationResponse(
      const NavigationResponse& response) = 0;
  // A request for a new window. The shell never creates one.
  virtual void createWebViewFor(const NavigationAction& action) = 0;

  // Gives the path to save to, or nothing to abandon the download.
  virtual void decideDownloadDestination(
      const std::string& suggestedFilename,
      std::function<void(std::optional<std::string>)> completion) = 0;
  virtual void downloadDidFail(const DownloadError& error) = 0;

  virtual void runJavaScriptAlert(const std::string& message, std::function<void()> completion) = 0;
  virtual void runJavaScriptConfirm(const std::string& message,
                                    std::function<void(bool)> completion) = 0;
  virtual void runOpenPanel(
      const OpenPanelParameters& parameters,
      std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;

  virtual void didFinishNavigation() = 0;
};

}  // namespace lumivant
