// Drawing without the engine's compositing where OpenGL runs on the processor.

#include "SoftwareRendering.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace lumivant::testing {
namespace {

constexpr char kSwitch[] = "WEBKIT_DISABLE_COMPOSITING_MODE";

// Puts the variable back as it was, so that the other tests' web views see the
// environment the test command gave them.
class CompositingSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* value = g_getenv(kSwitch)) saved_ = value;
    g_unsetenv(kSwitch);
  }
  void TearDown() override {
    if (saved_) {
      g_setenv(kSwitch, saved_->c_str(), TRUE);
    } else {
      g_unsetenv(kSwitch);
    }
  }

  static std::optional<std::string> value() {
    const char* text = g_getenv(kSwitch);
    return text ? std::optional<std::string>(text) : std::nullopt;
  }

 private:
  std::optional<std::string> saved_;
};

// The tests run under Xvfb, whose OpenGL is Mesa's llvmpipe.
TEST_F(CompositingSwitchTest, XvfbsSoftwareOpenGLTurnsCompositingOffUnlessTheUserSaidEitherWay) {
  ASSERT_TRUE(gtk::displayRendersInSoftware(gdk_display_get_default()));
  gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
  EXPECT_EQ(value(), "1");

  for (const char* users : {"0", ""}) {
    g_setenv(kSwitch, users, TRUE);
    gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
    EXPECT_EQ(value(), users);
  }
}

// What the shell launches for the user runs in the user's environment.
TEST_F(CompositingSwitchTest, AProgramLaunchedForTheUserStartsWithoutTheShellsSwitch) {
  auto inLaunchedProgram = [](const char* users) {
    if (users) g_setenv(kSwitch, users, TRUE);
    gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
    g_autoptr(GAppLaunchContext) context = g_app_launch_context_new();
    gtk::keepCompositingSwitchToTheShell(context);
    g_auto(GStrv) environment = g_app_launch_context_get_environment(context);
    const char* value = g_environ_getenv(environment, kSwitch);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  EXPECT_EQ(inLaunchedProgram(nullptr), std::nullopt);
  EXPECT_EQ(value(), "1") << "the shell's own engine keeps it";
  EXPECT_EQ(inLaunchedProgram("0"), "0");
}

TEST_F(CompositingSwitchTest, WithoutADisplayNothingIsSaid) {
  EXPECT_FALSE(gtk::displayRendersInSoftware(nullptr));
  gtk::drawWithoutCompositingOnSoftwareDisplay(nullptr);
  EXPECT_EQ(value(), std::nullopt);
}

}  // namespace
}  // namespace lumivant::testing
