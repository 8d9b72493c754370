#include "browser/ViewCommands.h"

namespace lumivant {

ViewCommands::ViewCommands(Host& host, Window& window, WebView& webView, ZoomMemory zoomMemory)
    : host_(host),
      window_(window),
      webView_(webView),
      zoomMemory_(std::move(zoomMemory)),
      zoom_(zoomMemory_.recall().value_or(kActualSize)) {}

bool ViewCommands::mayGo(const std::optional<std::string>& target) const {
  return target && mayGoTo && mayGoTo(*target);
}

void ViewCommands::go(HistoryDirection direction) {
  const BackForwardItems items = webView_.backForwardItems();
  const std::optional<int> steps = historySteps(items, direction);
  if (steps && mayGo(historyTarget(items, direction))) webView_.goBackOrForward(*steps);
}

void ViewCommands::perform(MenuAction action) {
  switch (action) {
    case MenuAction::goBack:
      // The item is greyed while it cannot act, but its mouse button is not.
      return go(HistoryDirection::back);
    case MenuAction::goForward:
      return go(HistoryDirection::forward);
    case MenuAction::reload:
      if (reload) reload();
      return;
    case MenuAction::zoomIn:
      setZoom(nextZoomLevel(zoom_, ZoomStep::in));
      return;
    case MenuAction::zoomOut:
      setZoom(nextZoomLevel(zoom_, ZoomStep::out));
      return;
    case MenuAction::actualSize:
      setZoom(kActualSize);
      return;
    case MenuAction::findInPage:
      window_.showFindBar();
      return;
    case MenuAction::findNext:
      window_.findAgain(FindDirection::next);
      return;
    case MenuAction::findPrevious:
      window_.findAgain(FindDirection::previous);
      return;
    case MenuAction::print:
      webView_.print();
      return;
    case MenuAction::toggleFullScreen:
      window_.toggleFullScreen();
      return;
    default:
      return;
  }
}

void ViewCommands::refresh() {
  const BackForwardItems items = webView_.backForwardItems();
  host_.setMenuActionEnabled(MenuAction::goBack,
                             mayGo(historyTarget(items, HistoryDirection::back)));
  host_.setMenuActionEnabled(MenuAction::goForward,
                             mayGo(historyTarget(items, HistoryDirection::forward)));
  host_.setMenuActionEnabled(MenuAction::reload, canReload && canReload());
  host_.setMenuActionEnabled(MenuAction::zoomIn, canZoom(zoom_, ZoomStep::in));
  host_.setMenuActionEnabled(MenuAction::zoomOut, canZoom(zoom_, ZoomStep::out));
}

void ViewCommands::applyZoom() { webView_.setZoomLevel(zoom_); }

void ViewCommands::setZoom(double level) {
  if (level == zoom_) return;
  zoom_ = level;
  applyZoom();
  zoomMemory_.remember(level);
  refresh();
}

}  // namespace lumivant
