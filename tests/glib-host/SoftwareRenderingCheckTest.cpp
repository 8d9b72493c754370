// The rendering switches and the X server's answer, without a display. What
// a real display answers is tested with GDK's in the host's tests.

#include "SoftwareRenderingCheck.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace lumivant::gtk {
namespace {

using testing::ScopedEnv;
using Values = std::vector<std::optional<std::string>>;

constexpr char kSwitch[] = "WEBKIT_DISABLE_COMPOSITING_MODE";
constexpr char kBufferSwitch[] = "WEBKIT_DISABLE_DMABUF_RENDERER";

std::optional<std::string> valueIn(char** environment, const char* name) {
  const char* value = g_environ_getenv(environment, name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// The two switches as a program the shell launches for the user finds them.
Values inLaunchedProgram() {
  g_autoptr(GAppLaunchContext) context = g_app_launch_context_new();
  keepRenderingSwitchesToTheShell(context);
  g_auto(GStrv) environment = g_app_launch_context_get_environment(context);
  return {valueIn(environment, kSwitch), valueIn(environment, kBufferSwitch)};
}

Values inShell() {
  g_auto(GStrv) environment = g_get_environ();
  return {valueIn(environment, kSwitch), valueIn(environment, kBufferSwitch)};
}

TEST(SoftwareRenderingCheckTest, DirectRenderingIsThroughDriOrNvidiasGlx) {
  const std::vector<std::string> xvfb{"BIG-REQUESTS", "Composite", "DAMAGE", "GLX",    "MIT-SHM",
                                      "Present",      "RANDR",     "RENDER", "XFIXES", "XTEST"};
  EXPECT_FALSE(offersDirectRendering(xvfb));
  EXPECT_FALSE(offersDirectRendering({}));
  for (const char* direct : {"DRI3", "DRI2", "NV-GLX"}) {
    auto server = xvfb;
    server.push_back(direct);
    EXPECT_TRUE(offersDirectRendering(server)) << direct;
  }
  EXPECT_FALSE(offersDirectRendering({"DRI3-ish", "dri3"}));
}

// GTK's own order: Wayland first, unless GDK_BACKEND puts X11 first.
TEST(SoftwareRenderingCheckTest, TheToolkitOpensX11OnlyWhereItWouldChooseIt) {
  struct Case {
    const char* backend;
    const char* wayland;
    const char* x11;
    bool opensX11;
  };
  const std::vector<Case> cases{
      {nullptr, nullptr, ":0", true},        {nullptr, "", ":0", true},
      {nullptr, "wayland-0", ":0", false},   {"*", "wayland-0", ":0", false},
      {"x11", "wayland-0", ":0", true},      {"x11,wayland", "wayland-0", ":0", true},
      {"wayland,x11", nullptr, ":0", false}, {"wayland", nullptr, ":0", false},
      {"broadway", nullptr, ":0", false},    {nullptr, nullptr, nullptr, false},
      {"x11", nullptr, "", false},           {"*", nullptr, ":1", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toolkitOpensX11(c.backend, c.wayland, c.x11), c.opensX11)
        << (c.backend ? c.backend : "(unset)") << " / " << (c.wayland ? c.wayland : "(unset)")
        << " / " << (c.x11 ? c.x11 : "(unset)");
  }
}

TEST(SoftwareRenderingCheckTest, WithoutADisplayNothingIsSaid) {
  const ScopedEnv compositing(kSwitch, std::nullopt);
  const ScopedEnv buffers(kBufferSwitch, std::nullopt);
  EXPECT_FALSE(displayRendersInSoftware(NativeDisplay{}));
  drawWithoutCompositingOnSoftwareDisplay(NativeDisplay{});
  EXPECT_EQ(inShell(), (Values{std::nullopt, std::nullopt}));
}

// The shell's own engine draws without compositing; what the shell launches
// for the user runs in the user's environment, with the switches the user
// set and without the shell's.
TEST(SoftwareRenderingCheckTest, AProgramLaunchedForTheUserStartsWithoutTheShellsSwitches) {
  {
    const ScopedEnv compositing(kSwitch, std::nullopt);
    const ScopedEnv buffers(kBufferSwitch, std::nullopt);
    drawWithoutCompositing();
    EXPECT_EQ(inShell(), (Values{"1", "1"}));
    EXPECT_TRUE(engineCompositingIsOff());
    EXPECT_EQ(inLaunchedProgram(), (Values{std::nullopt, std::nullopt}));
  }
  {
    const ScopedEnv compositing(kSwitch, std::nullopt);
    const ScopedEnv buffers(kBufferSwitch, "0");
    drawWithoutCompositing();
    EXPECT_EQ(inShell(), (Values{"1", "0"})) << "the user's switch stays as it was";
    EXPECT_EQ(inLaunchedProgram(), (Values{std::nullopt, "0"}));
  }
}

TEST(SoftwareRenderingCheckTest, CompositingIsOffWhenTheSwitchIsSetToAnythingButZero) {
  const std::vector<std::pair<std::optional<std::string>, bool>> cases{
      {std::nullopt, false}, {"0", false}, {"1", true}, {"", true}, {"yes", true}, {"00", true}};
  for (const auto& [value, off] : cases) {
    const ScopedEnv compositing(kSwitch, value);
    EXPECT_EQ(engineCompositingIsOff(), off) << value.value_or("(unset)");
  }
}

}  // namespace
}  // namespace lumivant::gtk
