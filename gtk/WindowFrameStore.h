#pragma once

#include <optional>
#include <string>

namespace lumivant::gtk {

// A window's frame in root-window coordinates, as the user left it.
struct WindowFrame {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;

  bool operator==(const WindowFrame&) const = default;
};

// Remembers window frames by name in a GLib key file, one group per name.
class WindowFrameStore {
 public:
  explicit WindowFrameStore(std::string path) : path_(std::move(path)) {}

  // The key file under the user's XDG state directory: "Lumivant/window-state.ini".
  static WindowFrameStore userStore();

  // The frame saved under name, or nothing when the file is missing, cannot be
  // read, or the group lacks a key or holds a size that no window could have.
  std::optional<WindowFrame> load(const std::string& name) const;
  // Writes the frame under name, keeping the other groups; creates the
  // directory. Returns false when the file could not be written.
  bool save(const std::string& name, const WindowFrame& frame) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace lumivant::gtk
