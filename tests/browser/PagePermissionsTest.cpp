// The page's requests for notifications, the location, the camera and the
// microphone: denied to every page but the app's own, asked once per data
// root, the answer kept; and the notifications of an allowed app page handed
// to the desktop under the application's name and icon.

#include <gmock/gmock.h>

#include <fstream>

#include "browser/ComponentFixture.h"
#include "browser/PagePermissions.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

constexpr const char* kAppPage = "http://127.0.0.1:8000/notebook.html";

struct PagePermissionsTest : testing::ComponentTest {
  testing::TempDir state;

  std::unique_ptr<PagePermissions> open(const std::string& dataRoot = "/data/lab") {
    auto permissions = std::make_unique<PagePermissions>(
        host, *window, PermissionMemory(state.str(), dataRoot),
        DesktopNotification{"示例研究台", "/bundle/Resources/lumivant.svg", {}, {}});
    permissions->isAppAddress = [](const std::string& url) {
      return url.rfind("http://127.0.0.1:8000/", 0) == 0;
    };
    return permissions;
  }
  // Asks for kind from page; the answer once given, or nothing while a question is open.
  std::shared_ptr<std::optional<bool>> request(PagePermissions& permissions, PermissionKind kind,
                                               const std::string& page = kAppPage) {
    auto answer = std::make_shared<std::optional<bool>>();
    permissions.decidePermission(PermissionRequest{kind, page},
                                 [answer](bool allow) { *answer = allow; });
    return answer;
  }
  void answerSheet(long response) {
    auto done = std::move(host.log.pendingAlerts.back());
    host.log.pendingAlerts.pop_back();
    done(response);
  }
};

constexpr long kAllow = kAlertFirstButtonReturn;
constexpr long kDontAllow = kAlertFirstButtonReturn + 1;

TEST_F(PagePermissionsTest, OtherPagesAreDeniedWithoutAQuestionWhateverTheRootAllowed) {
  auto permissions = open();
  request(*permissions, PermissionKind::location);
  answerSheet(kAllow);
  for (const char* page : {"http://127.0.0.1:8001/", "https://example.org/", "about:blank", ""}) {
    for (PermissionKind kind :
         {PermissionKind::notifications, PermissionKind::location, PermissionKind::camera,
          PermissionKind::microphone, PermissionKind::cameraAndMicrophone}) {
      EXPECT_EQ(*request(*permissions, kind, page), false) << page;
    }
  }
  EXPECT_EQ(host.log.alerts.size(), 1u) << "only the app page's request was asked";
}

TEST_F(PagePermissionsTest, EachKindIsAskedOnceAndItsAnswerKeptForTheDataRoot) {
  {
    auto permissions = open();
    auto notifications = request(*permissions, PermissionKind::notifications);
    ASSERT_EQ(host.log.alerts.size(), 1u);
    EXPECT_EQ(host.log.alerts[0].messageText, "允许这个应用显示通知吗？");
    EXPECT_THAT(host.log.alerts[0].buttons, ::testing::ElementsAre("允许", "不允许"));
    EXPECT_FALSE(notifications->has_value()) << "not answered before the user is";
    answerSheet(kAllow);
    EXPECT_EQ(*notifications, true);

    auto camera = request(*permissions, PermissionKind::camera);
    EXPECT_EQ(host.log.alerts.back().messageText, "允许这个应用使用摄像头吗？");
    answerSheet(kDontAllow);
    EXPECT_EQ(*camera, false);
  }
  // The next launch, for the same data root: no question.
  auto again = open();
  EXPECT_EQ(*request(*again, PermissionKind::notifications), true);
  EXPECT_EQ(*request(*again, PermissionKind::camera), false);
  EXPECT_EQ(host.log.alerts.size(), 2u);
  // The microphone was never asked; another data root asks afresh.
  request(*again, PermissionKind::microphone);
  EXPECT_EQ(host.log.alerts.back().messageText, "允许这个应用使用麦克风吗？");
  answerSheet(kAllow);
  auto elsewhere = open("/data/other-lab");
  auto notifications = request(*elsewhere, PermissionKind::notifications);
  EXPECT_EQ(host.log.alerts.size(), 4u);
  EXPECT_FALSE(notifications->has_value());
  answerSheet(kDontAllow);
}

TEST_F(PagePermissionsTest, AQuestionClosedWithoutAnAnswerDeniesAndIsAskedAgain) {
  auto permissions = open();
  auto first = request(*permissions, PermissionKind::location);
  answerSheet(0);
  EXPECT_EQ(*first, false);
  auto second = request(*permissions, PermissionKind::location);
  EXPECT_EQ(host.log.alerts.size(), 2u);
  EXPECT_EQ(host.log.alerts.back().messageText, "允许这个应用获取你的位置吗？");
  answerSheet(kAllow);
  EXPECT_EQ(*second, true);
}

TEST_F(PagePermissionsTest, RequestsWhileTheQuestionIsOpenShareItsAnswer) {
  auto permissions = open();
  auto first = request(*permissions, PermissionKind::cameraAndMicrophone);
  auto second = request(*permissions, PermissionKind::cameraAndMicrophone);
  ASSERT_EQ(host.log.alerts.size(), 1u);
  EXPECT_EQ(host.log.alerts[0].messageText, "允许这个应用使用摄像头和麦克风吗？");
  answerSheet(kAllow);
  EXPECT_EQ(*first, true);
  EXPECT_EQ(*second, true);
}

TEST_F(PagePermissionsTest, ADamagedFileIsSetAsideAndTheQuestionAskedAgain) {
  const std::string file = state.str() + "/page-permissions.json";
  std::ofstream(file) << "{\"/data/lab\": {\"notifications\": tru";
  auto permissions = open();
  auto answer = request(*permissions, PermissionKind::notifications);
  ASSERT_EQ(host.log.alerts.size(), 1u);
  answerSheet(kAllow);
  EXPECT_EQ(*answer, true);
  EXPECT_TRUE(std::ifstream(setAsidePath(file)).good()) << "the damaged file is kept aside";
  EXPECT_EQ(*request(*open(), PermissionKind::notifications), true);
}

TEST_F(PagePermissionsTest, NotificationsReachTheDesktopOnlyFromAnAllowedAppPage) {
  auto permissions = open();
  const PageNotification note{"计算完成", "第 3 批样本已分析", kAppPage};
  EXPECT_TRUE(permissions->showNotification(note)) << "taken from the engine, and not shown";
  EXPECT_TRUE(host.notifications.empty()) << "before the user allowed them";

  request(*permissions, PermissionKind::notifications);
  answerSheet(kAllow);
  EXPECT_TRUE(permissions->showNotification(note));
  EXPECT_TRUE(permissions->showNotification({"别处", "", "http://127.0.0.1:8001/"}));
  ASSERT_EQ(host.notifications.size(), 1u) << "the other origin's is not shown";
  EXPECT_EQ(host.notifications[0].applicationName, "示例研究台");
  EXPECT_EQ(host.notifications[0].iconPath, "/bundle/Resources/lumivant.svg");
  EXPECT_EQ(host.notifications[0].title, "计算完成");
  EXPECT_EQ(host.notifications[0].body, "第 3 批样本已分析");
}

}  // namespace
}  // namespace lumivant
