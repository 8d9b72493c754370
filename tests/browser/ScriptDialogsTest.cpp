#include "browser/ScriptDialogs.h"

#include <gmock/gmock.h>

#include "browser/ComponentFixture.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct ScriptDialogsTest : testing::ComponentTest {
  ScriptDialogs dialogs{*window};
};

TEST_F(ScriptDialogsTest, AnAlertIsAnsweredOnceAfterItsSheetCloses) {
  int answered = 0;
  dialogs.runJavaScriptAlert("保存好了", [&] { ++answered; });
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "保存好了");
  EXPECT_EQ(host.log.alerts[0].informativeText, "");
  EXPECT_THAT(host.log.alerts[0].buttons, IsEmpty());
  EXPECT_EQ(answered, 0);
  host.log.pendingAlerts[0](kAlertFirstButtonReturn);
  EXPECT_EQ(answered, 1);
}

TEST_F(ScriptDialogsTest, AConfirmIsTrueOnlyForItsFirstButton) {
  std::vector<bool> answers;
  for (int i = 0; i < 3; ++i) {
    dialogs.runJavaScriptConfirm("删除这个实验？", [&](bool yes) { answers.push_back(yes); });
  }
  ASSERT_EQ(host.log.alerts.size(), 3u);
  EXPECT_EQ(host.log.alerts[0].messageText, "删除这个实验？");
  EXPECT_THAT(host.log.alerts[0].buttons, ElementsAre("确认", "取消"));
  EXPECT_THAT(answers, IsEmpty());
  host.log.pendingAlerts[0](1000);
  host.log.pendingAlerts[1](1001);
  host.log.pendingAlerts[2](0);  // dismissed without a button
  EXPECT_THAT(answers, ElementsAre(true, false, false));
}

TEST_F(ScriptDialogsTest, APromptAnswersTheFieldsTextOnlyForItsFirstButton) {
  std::vector<std::optional<std::string>> answers;
  for (int i = 0; i < 4; ++i) {
    dialogs.runJavaScriptTextInput("实验名称？", "实验 1", [&](std::optional<std::string> text) {
      answers.push_back(std::move(text));
    });
  }
  ASSERT_EQ(host.log.prompts.size(), 4u);
  EXPECT_EQ(host.log.prompts[0].messageText, "实验名称？");
  EXPECT_EQ(host.log.prompts[0].defaultText, "实验 1");
  EXPECT_THAT(host.log.prompts[0].buttons, ElementsAre("确认", "取消"));
  EXPECT_THAT(answers, IsEmpty());
  host.log.pendingPrompts[0](1000, "对照组");
  host.log.pendingPrompts[1](1000, "");
  host.log.pendingPrompts[2](1001, "对照组");
  host.log.pendingPrompts[3](0, "对照组");  // Escape or closed
  EXPECT_THAT(answers, ElementsAre("对照组", "", std::nullopt, std::nullopt))
      << "an empty answer is text; a cancelled one is no value";
}

TEST_F(ScriptDialogsTest, TheLeavePageQuestionIsTheShellsOwnAndLeavesOnlyOnItsFirstButton) {
  std::vector<bool> answers;
  for (int i = 0; i < 3; ++i) {
    dialogs.runBeforeUnloadConfirm([&](bool leave) { answers.push_back(leave); });
  }
  ASSERT_EQ(host.log.alerts.size(), 3u);
  EXPECT_EQ(host.log.alerts[0].messageText, "要离开这个页面吗？");
  EXPECT_EQ(host.log.alerts[0].informativeText, "你做的更改可能不会保存。");
  EXPECT_THAT(host.log.alerts[0].buttons, ElementsAre("离开", "留下"));
  host.log.pendingAlerts[0](1000);
  host.log.pendingAlerts[1](1001);
  host.log.pendingAlerts[2](0);
  EXPECT_THAT(answers, ElementsAre(true, false, false)) << "only an explicit 离开 leaves";
}

TEST_F(ScriptDialogsTest, TheFilePickerFollowsTheRequest) {
  const auto open = [&](bool multiple, bool directories) {
    dialogs.runOpenPanel({multiple, directories}, [](auto) {});
    return host.log.openPanels.back();
  };
  const auto several = open(true, false);
  EXPECT_TRUE(several.allowsMultipleSelection);
  EXPECT_FALSE(several.canChooseDirectories);
  EXPECT_TRUE(several.canChooseFiles);
  const auto folders = open(false, true);
  EXPECT_FALSE(folders.allowsMultipleSelection);
  EXPECT_TRUE(folders.canChooseDirectories);
  EXPECT_TRUE(folders.canChooseFiles);
}

TEST_F(ScriptDialogsTest, TheFilePickerAnswersWithTheChosenFilesOrWithNoList) {
  std::vector<std::optional<std::vector<std::string>>> answers;
  const auto record = [&](std::optional<std::vector<std::string>> files) {
    answers.push_back(std::move(files));
  };
  dialogs.runOpenPanel({true, false}, record);
  dialogs.runOpenPanel({true, false}, record);
  EXPECT_THAT(answers, IsEmpty());
  host.log.pendingOpenPanels[0](std::vector<std::string>{"/data/b.csv", "/data/a.csv"});
  host.log.pendingOpenPanels[1](std::nullopt);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], (std::vector<std::string>{"/data/b.csv", "/data/a.csv"}));
  EXPECT_EQ(answers[1], std::nullopt)
      << "a cancelled picker answers with no list, not an empty one";
}

}  // namespace
}  // namespace lumivant
