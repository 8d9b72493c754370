// The page's context menu in a one-window shell: no item that needs a second
// window, link opening that behaves as a click, the menu bar's own words.

#include "browser/ContextMenuPolicy.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

using Kind = ContextMenuChoice::Kind;

const std::string kBackend = "http://127.0.0.1:8765/";

Kind decide(ContextMenuItem item, const std::optional<std::string>& address = std::nullopt) {
  return decideContextMenuItem(item, address, Url::parse(kBackend)).kind;
}

TEST(ContextMenuPolicyTest, OffersOnlyWhatWorksInOneWindow) {
  const struct {
    ContextMenuItem item = ContextMenuItem::other;
    std::optional<std::string> address;
    Kind expected = Kind::keep;
  } cases[] = {
      {ContextMenuItem::openLinkInNewWindow, kBackend + "tree", Kind::remove},
      {ContextMenuItem::openLinkInNewWindow, "https://example.org/", Kind::remove},
      {ContextMenuItem::openImageInNewWindow, kBackend + "logo.png", Kind::remove},
      {ContextMenuItem::openFrameInNewWindow, kBackend + "frame", Kind::remove},
      {ContextMenuItem::openMediaInNewWindow, kBackend + "clip.webm", Kind::remove},
      // Opening a link does what clicking it does, or is not offered.
      {ContextMenuItem::openLink, kBackend + "tree", Kind::openLink},
      {ContextMenuItem::openLink, "https://example.org/paper", Kind::openLink},
      {ContextMenuItem::openLink, "mailto:lab@example.org", Kind::openLink},
      {ContextMenuItem::openLink, "tel:+861012345678", Kind::remove},
      {ContextMenuItem::openLink, "file:///etc/passwd", Kind::remove},
      {ContextMenuItem::openLink, "javascript:void(0)", Kind::remove},
      {ContextMenuItem::openLink, std::nullopt, Kind::remove},
      // Downloads fetch past the navigation policy: the app's own files only.
      {ContextMenuItem::downloadLink, kBackend + "files/data.csv", Kind::keep},
      {ContextMenuItem::downloadLink, "https://example.org/data.csv", Kind::remove},
      {ContextMenuItem::downloadImage, kBackend + "plot.png", Kind::keep},
      {ContextMenuItem::downloadImage, "data:image/png;base64,AAAA", Kind::remove},
      {ContextMenuItem::downloadMedia, "http://127.0.0.1:8766/clip.webm", Kind::remove},
      {ContextMenuItem::downloadLink, "about:blank", Kind::remove},
      {ContextMenuItem::other, std::nullopt, Kind::keep},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decide(c.item, c.address), c.expected)
        << static_cast<int>(c.item) << " " << c.address.value_or("(none)");
  }
}

TEST(ContextMenuPolicyTest, BackForwardAndReloadAreTheMenuBarsItems) {
  const struct {
    ContextMenuItem item = ContextMenuItem::other;
    MenuAction action = MenuAction::reload;
    const char* title = "";
  } cases[] = {
      {ContextMenuItem::goBack, MenuAction::goBack, "后退"},
      {ContextMenuItem::goForward, MenuAction::goForward, "前进"},
      {ContextMenuItem::reload, MenuAction::reload, "重新载入"},
  };
  for (const auto& c : cases) {
    const ContextMenuChoice choice = decideContextMenuItem(c.item, std::nullopt, std::nullopt);
    EXPECT_EQ(choice.kind, Kind::menuItem);
    EXPECT_EQ(choice.action, c.action);
    EXPECT_EQ(choice.title, c.title);
  }
}

TEST(ContextMenuPolicyTest, WithoutABackendNothingIsDownloaded) {
  EXPECT_EQ(decideContextMenuItem(ContextMenuItem::downloadLink, kBackend, std::nullopt).kind,
            Kind::remove);
}

}  // namespace
}  // namespace lumivant
