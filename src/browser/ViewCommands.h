#pragma once

#include <functional>
#include <string>

#include "browser/HistorySteps.h"
#include "browser/PageZoom.h"
#include "host/Host.h"
#include "host/MainMenu.h"

namespace lumivant {

// The view menu's commands: back and forward where the app's pages are, the
// reload that also retries a failed page, the page's zoom kept per data root,
// finding in the page and printing it. Keeps the menu's items greyed while
// they cannot act.
class ViewCommands {
 public:
  ViewCommands(Host& host, Window& window, WebView& webView, ZoomMemory zoomMemory);

  // Whether the view may go to url: back and forward only go to the app's own pages.
  std::function<bool(const std::string& url)> mayGoTo;
  // Whether reloading acts now, and the reload itself, which may retry a failed page.
  std::function<bool()> canReload;
  std::function<void()> reload;

  // Carries out one of the view menu's actions; other actions are not its own.
  void perform(MenuAction action);
  // Makes each item usable or greyed as the view stands now.
  void refresh();
  // Gives the view the data root's kept zoom: at launch, and for every page
  // of a backend that has just become ready.
  void applyZoom();

 private:
  bool mayGo(const std::optional<std::string>& target) const;
  // One press of 后退 or 前进: to the nearest page the user saw that way.
  void go(HistoryDirection direction);
  void setZoom(double level);

  Host& host_;
  Window& window_;
  WebView& webView_;
  const ZoomMemory zoomMemory_;
  double zoom_;
};

}  // namespace lumivant
