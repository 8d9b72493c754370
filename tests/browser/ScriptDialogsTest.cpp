#include <gmock/gmock.h>

#include "browser/DelegateFixture.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using ScriptDialogsTest = testing::DelegateTest;

TEST_F(ScriptDialogsTest, AnAlertIsAnsweredOnceAfterItsSheetCloses) {
  int answered = 0;
  delegate->runJavaScriptAlert("保存好了", [&] { ++answered; });
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
    delegate->runJavaScriptConfirm("删除这个实验？", [&](bool yes) { answers.push_back(yes); });
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

TEST_F(ScriptDialogsTest, TheFilePickerFollowsTheRequest) {
  const auto open = [&](bool multiple, bool directories) {
    delegate->runOpenPanel({multiple, directories}, [](auto) {});
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
  delegate->runOpenPanel({true, false}, record);
  delegate->runOpenPanel({true, false}, record);
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
