#include "WindowFrameStore.h"

#include <glib.h>

#include <memory>

#include "base/StateFile.h"

namespace lumivant::gtk {

namespace {

constexpr int kLargestSensibleSide = 100000;
// A few groups of a few lines each; a file far beyond that holds no frame.
constexpr size_t kWindowStateLimitBytes = size_t{64} * 1024;

struct KeyFileDeleter {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

std::optional<int> readInt(GKeyFile* file, const char* group, const char* key) {
  g_autoptr(GError) error = nullptr;
  const int value = g_key_file_get_integer(file, group, key, &error);
  if (error) return std::nullopt;
  return value;
}

}  // namespace

WindowFrameStore WindowFrameStore::userStore() {
  g_autofree char* path =
      g_build_filename(g_get_user_state_dir(), "Lumivant", "window-state.ini", nullptr);
  return WindowFrameStore(path);
}

std::optional<WindowFrame> WindowFrameStore::load(const std::string& name) const {
  const FileRead current = StateFile(path_, kWindowStateLimitBytes).read();
  if (current.state != FileState::ok) return std::nullopt;
  KeyFile file(g_key_file_new());
  if (!g_key_file_load_from_data(file.get(), current.text.data(), current.text.size(),
                                 G_KEY_FILE_NONE, nullptr)) {
    return std::nullopt;
  }
  const char* group = name.c_str();
  const auto x = readInt(file.get(), group, "x");
  const auto y = readInt(file.get(), group, "y");
  const auto width = readInt(file.get(), group, "width");
  const auto height = readInt(file.get(), group, "height");
  if (!width || !height) return std::nullopt;
  if (*width <= 0 || *height <= 0 || *width > kLargestSensibleSide ||
      *height > kLargestSensibleSide) {
    return std::nullopt;
  }
  // A missing or damaged flag only loses the maximised state, not the frame.
  const bool maximized = g_key_file_get_boolean(file.get(), group, "maximized", nullptr);
  std::optional<FramePosition> position;
  if (x && y) position = FramePosition{*x, *y};
  return WindowFrame{position, *width, *height, maximized};
}

bool WindowFrameStore::save(const std::string& name, const WindowFrame& frame) const {
  // Other windows' groups survive; a damaged file is set aside, not lost.
  return StateFile(path_, kWindowStateLimitBytes).update([&](const FileRead& current) {
    KeyFile file(g_key_file_new());
    const bool whole =
        current.state != FileState::ok ||
        g_key_file_load_from_data(file.get(), current.text.data(), current.text.size(),
                                  G_KEY_FILE_KEEP_COMMENTS, nullptr);
    if (!whole) file.reset(g_key_file_new());
    const char* group = name.c_str();
    if (frame.position) {
      g_key_file_set_integer(file.get(), group, "x", frame.position->x);
      g_key_file_set_integer(file.get(), group, "y", frame.position->y);
    }
    g_key_file_set_integer(file.get(), group, "width", frame.width);
    g_key_file_set_integer(file.get(), group, "height", frame.height);
    g_key_file_set_boolean(file.get(), group, "maximized", frame.maximized);
    gsize length = 0;
    g_autofree gchar* text = g_key_file_to_data(file.get(), &length, nullptr);
    return StateFile::Revision{std::string(text, length), !whole};
  });
}

}  // namespace lumivant::gtk
