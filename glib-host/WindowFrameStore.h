#pragma once

#include <optional>
#include <string>

#include "host/WindowFrame.h"

namespace lumivant::gtk {

// Remembers window frames by name in a GLib key file, one group per name.
class WindowFrameStore {
 public:
  explicit WindowFrameStore(std::string path) : path_(std::move(path)) {}

  // The key file under the user's XDG state directory: "Lumivant/window-state.ini".
  static WindowFrameStore userStore();

  // The frame saved under name, or nothing when the file is missing, cannot be
  // read, or the group lacks the size or holds one that no window could have.
  // A frame saved without a position (or half of one) comes without one.
  std::optional<WindowFrame> load(const std::string& name) const;
  // Writes the frame under name, keeping the other groups; a frame without a
  // position leaves the saved position as it was. Creates the directory. A
  // damaged file is set aside first; one that cannot be read, or is being
  // written by another shell for longer than it takes, is left as it is.
  // Returns false when the file was not written.
  bool save(const std::string& name, const WindowFrame& frame) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace lumivant::gtk
