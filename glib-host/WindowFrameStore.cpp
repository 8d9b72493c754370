#include "WindowFrameStore.h"

#include <glib.h>

#include <memory>

namespace lumivant::gtk {

namespace {

constexpr int kLargestSensibleSide = 100000;

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
  KeyFile file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), path_.c_str(), G_KEY_FILE_NONE, nullptr)) {
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
  KeyFile file(g_key_file_new());
  // Other windows' groups survive; a damaged file is simply replaced.
  g_key_file_load_from_file(file.get(), path_.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
  const char* group = name.c_str();
  if (frame.position) {
    g_key_file_set_integer(file.get(), group, "x", frame.position->x);
    g_key_file_set_integer(file.get(), group, "y", frame.position->y);
  }
  g_key_file_set_integer(file.get(), group, "width", frame.width);
  g_key_file_set_integer(file.get(), group, "height", frame.height);
  g_key_file_set_boolean(file.get(), group, "maximized", frame.maximized);

  g_autofree char* directory = g_path_get_dirname(path_.c_str());
  if (g_mkdir_with_parents(directory, 0700) != 0) return false;
  // g_key_file_save_to_file writes a temporary file and renames it, so a crash
  // mid-write never leaves a half-written frame behind.
  return g_key_file_save_to_file(file.get(), path_.c_str(), nullptr);
}

}  // namespace lumivant::gtk
