// Drawing without the engine's compositing where a GDK display's OpenGL runs on
// the processor. What needs no display is tested in SoftwareRenderingCheckTest.

#include "SoftwareRendering.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace lumivant::testing {
namespace {

constexpr char kSwitch[] = "WEBKIT_DISABLE_COMPOSITING_MODE";
constexpr char kBufferSwitch[] = "WEBKIT_DISABLE_DMABUF_RENDERER";

std::optional<std::string> valueOf(const char* name) {
  const char* text = g_getenv(name);
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// Puts the variables back as they were, so that the other tests' web views see
// the environment the test command gave them.
class CompositingSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {kSwitch, kBufferSwitch}) {
      saved_.push_back(valueOf(name));
      g_unsetenv(name);
    }
  }
  void TearDown() override {
    int i = 0;
    for (const char* name : {kSwitch, kBufferSwitch}) {
      const auto& saved = saved_[i++];
      if (saved) {
        g_setenv(name, saved->c_str(), TRUE);
      } else {
        g_unsetenv(name);
      }
    }
  }

  static std::optional<std::string> value() { return valueOf(kSwitch); }

 private:
  std::vector<std::optional<std::string>> saved_;
};

bool glDriverLoaded() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("libEGL_mesa") != std::string::npos ||
        line.find("_dri.so") != std::string::npos) {
      return true;
    }
  }
  return false;
}

// The tests run under Xvfb, whose OpenGL is Mesa's llvmpipe.
TEST_F(CompositingSwitchTest, XvfbsSoftwareOpenGLTurnsCompositingOffUnlessTheUserSaidEitherWay) {
  ASSERT_TRUE(gtk::displayRendersInSoftware(gdk_display_get_default()));
  gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
  EXPECT_EQ(value(), "1");
  EXPECT_EQ(valueOf(kBufferSwitch), "1");

  for (const char* users : {"0", ""}) {
    g_setenv(kSwitch, users, TRUE);
    g_unsetenv(kBufferSwitch);
    gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
    EXPECT_EQ(value(), users);
    EXPECT_EQ(valueOf(kBufferSwitch), std::nullopt) << "the user's compositing needs the buffers";
  }
}

// Xvfb offers no direct rendering, so the answer needs no OpenGL driver, whose
// loading would hold up the start of the web process. Run in a fresh process:
// this one's web views have loaded the driver.
TEST(SoftwareDisplayTest, XvfbIsToldWithoutLoadingAnOpenGLDriver) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (glDriverLoaded()) std::_Exit(1);
        if (!gtk::displayRendersInSoftware(gdk_display_get_default())) std::_Exit(2);
        std::_Exit(glDriverLoaded() ? 3 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(CompositingSwitchTest, WithoutADisplayNothingIsSaid) {
  EXPECT_FALSE(gtk::displayRendersInSoftware(nullptr));
  gtk::drawWithoutCompositingOnSoftwareDisplay(nullptr);
  EXPECT_EQ(value(), std::nullopt);
}

}  // namespace
}  // namespace lumivant::testing
