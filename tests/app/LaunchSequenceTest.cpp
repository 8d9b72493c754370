#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using testing::ManualMainQueue;
using testing::RecordingHost;

// Records the launch entries of the other subsystems into the host's log, so
// that one list shows the whole order.
class ObservedDelegate : public AppDelegate {
 public:
  ObservedDelegate(RecordingHost& host, MainQueue& queue, bool swapSucceeds)
      : AppDelegate(host, queue, Bundle{}), host_(host), swapSucceeds_(swapSucceeds) {}

  void cleanupOldShellFiles() override { host_.log.calls.push_back("cleanupOldShellFiles"); }
  bool replaceMyselfIfANewerShellIsStaged() override {
    host_.log.calls.push_back("replaceMyselfIfANewerShellIsStaged");
    return swapSucceeds_;
  }
  void declareMyself() override {
    host_.log.calls.push_back("declareMyself");
    windowExistedAtDeclaration = window != nullptr;
  }
  void startBackend() override { host_.log.calls.push_back("startBackend"); }

  bool windowExistedAtDeclaration = false;

 private:
  RecordingHost& host_;
  bool swapSucceeds_;
};

struct LaunchTest : ::testing::Test {
  RecordingHost host;
  ManualMainQueue queue;
};

TEST_F(LaunchTest, RunsEveryStepInItsFixedOrder) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, false);
  delegate->applicationDidFinishLaunching();
  EXPECT_THAT(
      host.log.calls,
      ElementsAre("cleanupOldShellFiles", "replaceMyselfIfANewerShellIsStaged", "createWebView",
                  "installMainMenu", "setDrawsBackground false", "createMainWindow",
                  "showStartingIndicator 正在启动…", "activate", "declareMyself", "startBackend"));
  EXPECT_TRUE(delegate->windowExistedAtDeclaration);
  EXPECT_NE(delegate->webView, nullptr);
  EXPECT_NE(delegate->window, nullptr);
  EXPECT_EQ(host.webViewDelegate, delegate.get());
}

TEST_F(LaunchTest, FieldsStartEmpty) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, false);
  EXPECT_EQ(delegate->window, nullptr);
  EXPECT_EQ(delegate->webView, nullptr);
  EXPECT_EQ(delegate->backend, nullptr);
  EXPECT_FALSE(delegate->origin.has_value());
}

TEST_F(LaunchTest, SwapEndsTheLaunchBeforeAnythingIsBuilt) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, true);
  delegate->applicationDidFinishLaunching();
  EXPECT_THAT(host.log.calls,
              ElementsAre("cleanupOldShellFiles", "replaceMyselfIfANewerShellIsStaged"));
  EXPECT_EQ(delegate->webView, nullptr);
  EXPECT_EQ(delegate->window, nullptr);
}

TEST_F(LaunchTest, MenuAndWindowCarryTheShellsSettings) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, false);
  delegate->applicationDidFinishLaunching();
  ASSERT_EQ(host.log.menu.menus.size(), 2u);
  EXPECT_EQ(host.log.menu.menus[0].title, "Lumivant");
  ASSERT_EQ(host.log.menu.menus[0].items.size(), 1u);
  EXPECT_EQ(host.log.menu.menus[0].items[0].title, "退出 Lumivant");
  EXPECT_EQ(host.log.menu.menus[0].items[0].action, MenuAction::terminate);
  EXPECT_EQ(host.log.menu.menus[0].items[0].shortcut, "<Primary>q");
  const auto& edit = host.log.menu.menus[1];
  EXPECT_EQ(edit.title, "编辑");
  std::vector<std::string> titles, shortcuts;
  for (const auto& item : edit.items) {
    titles.push_back(item.title);
    shortcuts.push_back(item.shortcut);
  }
  EXPECT_THAT(titles, ElementsAre("撤销", "重做", "剪切", "复制", "粘贴", "全选"));
  EXPECT_THAT(shortcuts, ElementsAre("<Primary>z", "<Primary><Shift>z", "<Primary>x", "<Primary>c",
                                     "<Primary>v", "<Primary>a"));
  EXPECT_EQ(host.log.windowSettings.title, "Lumivant");
  EXPECT_EQ(host.log.windowSettings.width, 1280);
  EXPECT_EQ(host.log.windowSettings.height, 840);
  EXPECT_EQ(host.log.windowSettings.minWidth, 900);
  EXPECT_EQ(host.log.windowSettings.minHeight, 600);
  EXPECT_EQ(host.log.windowSettings.frameAutosaveName, "main");
  EXPECT_FALSE(host.log.drawsBackground);
}

TEST_F(LaunchTest, ClosingTheLastWindowQuits) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, false);
  EXPECT_TRUE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(LaunchTest, TerminationWithoutABackendDoesNothing) {
  auto delegate = std::make_shared<ObservedDelegate>(host, queue, false);
  delegate->applicationDidFinishLaunching();
  const auto before = host.log.calls;
  delegate->applicationWillTerminate();
  EXPECT_EQ(host.log.calls, before);
}

}  // namespace
}  // namespace lumivant
