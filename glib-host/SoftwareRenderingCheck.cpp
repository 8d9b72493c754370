#include "SoftwareRenderingCheck.h"

#include <X11/Xlib.h>
#include <epoxy/egl.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace lumivant::gtk {

namespace {

constexpr char kCompositingSwitch[] = "WEBKIT_DISABLE_COMPOSITING_MODE";
// Without compositing the engine never hands the shell a frame in a GPU
// buffer; this one stops it setting up OpenGL in the shell's process to
// receive them, which takes time and memory while the web process starts.
constexpr char kBufferTransportSwitch[] = "WEBKIT_DISABLE_DMABUF_RENDERER";
constexpr std::array kSwitches{kCompositingSwitch, kBufferTransportSwitch};

constexpr char kToolkitOpenGL[] = "GDK_GL";
constexpr char kEglDriverFiles[] = "__EGL_VENDOR_LIBRARY_FILENAMES";

// The switches the shell set, rather than found set.
std::array<bool, kSwitches.size()> switchIsTheShells{};

// Mesa renders on a GPU for an X client through DRI3 or DRI2, NVIDIA's
// driver through its own GLX extension.
constexpr std::array<std::string_view, 3> kDirectRenderingExtensions{"DRI3", "DRI2", "NV-GLX"};

bool serverOffersDirectRendering(Display* display) {
  int count = 0;
  char** names = XListExtensions(display, &count);
  std::vector<std::string> extensions(names, names + count);
  XFreeExtensionList(names);
  return offersDirectRendering(extensions);
}

EGLDisplay eglDisplayFor(const NativeDisplay& display) {
  if (display.x11) return eglGetPlatformDisplayEXT(EGL_PLATFORM_X11_KHR, display.x11, nullptr);
  if (display.wayland) {
    return eglGetPlatformDisplayEXT(EGL_PLATFORM_WAYLAND_KHR, display.wayland, nullptr);
  }
  return EGL_NO_DISPLAY;
}

// Asks EGL, which loads the display's OpenGL driver to answer.
bool eglDeviceIsSoftware(const NativeDisplay& display) {
  if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base") ||
      !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_device_query")) {
    return false;
  }
  EGLDisplay egl = eglDisplayFor(display);
  if (egl == EGL_NO_DISPLAY || !eglInitialize(egl, nullptr, nullptr)) return false;
  // Mesa marks its software device with EGL_MESA_device_software.
  EGLAttrib device = 0;
  if (!eglQueryDisplayAttribEXT(egl, EGL_DEVICE_EXT, &device) || !device) return false;
  // EGL hands the device over as an attribute, which is an integer.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  const auto deviceHandle = reinterpret_cast<EGLDeviceEXT>(device);
  const char* extensions = eglQueryDeviceStringEXT(deviceHandle, EGL_EXTENSIONS);
  // The display stays initialised: the engine initialises the same one next,
  // and terminating it would unload the driver the engine then loads again.
  return extensions && epoxy_extension_in_string(extensions, "EGL_MESA_device_software");
}

}  // namespace

bool offersDirectRendering(const std::vector<std::string>& serverExtensions) {
  return std::any_of(serverExtensions.begin(), serverExtensions.end(), [](const std::string& name) {
    return std::find(kDirectRenderingExtensions.begin(), kDirectRenderingExtensions.end(), name) !=
           kDirectRenderingExtensions.end();
  });
}

bool displayRendersInSoftware(const NativeDisplay& display) {
  if (!display.x11 && !display.wayland) return false;
  // An X server without direct rendering leaves every client Mesa's software
  // driver. Asking the server is one round trip; loading the driver to ask EGL
  // takes some 80 ms of the main thread before the web process can start,
  // and the engine loads it later anyway, while that process starts.
  if (display.x11 && !serverOffersDirectRendering(display.x11)) return true;
  return eglDeviceIsSoftware(display);
}

bool toolkitOpensX11(const char* gdkBackend, const char* waylandDisplay, const char* x11Display) {
  if (!x11Display || !*x11Display) return false;
  const std::string_view backends = gdkBackend ? gdkBackend : "";
  const std::string_view first = backends.substr(0, backends.find(','));
  if (first == "x11") return true;
  if (!first.empty() && first != "*") return false;
  return !waylandDisplay || !*waylandDisplay;
}

ToolkitOpenGLOffOnSoftwareXServer::ToolkitOpenGLOffOnSoftwareXServer() {
  if (!toolkitOpensX11(g_getenv("GDK_BACKEND"), g_getenv("WAYLAND_DISPLAY"), g_getenv("DISPLAY"))) {
    return;
  }
  server_ = XOpenDisplay(nullptr);
  if (!server_) return;
  software_ = !serverOffersDirectRendering(server_);
  // Where the user asks for the engine's compositing, GTK's OpenGL shows its frames.
  const bool compositingOff = !g_getenv(kCompositingSwitch) || engineCompositingIsOff();
  set_ = software_ && compositingOff && !g_getenv(kToolkitOpenGL) &&
         g_setenv(kToolkitOpenGL, "disable", FALSE);
}

ToolkitOpenGLOffOnSoftwareXServer::~ToolkitOpenGLOffOnSoftwareXServer() {
  if (set_) g_unsetenv(kToolkitOpenGL);
  if (server_) XCloseDisplay(server_);
}

void keepOpenGLDriversOutOfTheShellsProcess() {
  if (g_getenv(kEglDriverFiles) || !g_setenv(kEglDriverFiles, "/dev/null", TRUE)) return;
  // Any EGL call makes libglvnd read its list; this one needs no display.
  eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  g_unsetenv(kEglDriverFiles);
}

void drawWithoutCompositingOnSoftwareDisplay(const NativeDisplay& display) {
  switchIsTheShells.fill(false);
  // A compositing switch in the environment is the user's choice, either way,
  // and the buffer switch goes with compositing.
  if (g_getenv(kCompositingSwitch) || !displayRendersInSoftware(display)) return;
  drawWithoutCompositing();
}

void drawWithoutCompositing() {
  for (std::size_t i = 0; i < kSwitches.size(); ++i) {
    switchIsTheShells[i] = !g_getenv(kSwitches[i]) && g_setenv(kSwitches[i], "1", FALSE);
  }
}

bool engineCompositingIsOff() {
  const char* value = g_getenv(kCompositingSwitch);
  return value && std::string_view(value) != "0";
}

void keepRenderingSwitchesToTheShell(GAppLaunchContext* context) {
  if (!context) return;
  for (std::size_t i = 0; i < kSwitches.size(); ++i) {
    if (switchIsTheShells[i]) g_app_launch_context_unsetenv(context, kSwitches[i]);
  }
}

}  // namespace lumivant::gtk
