#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/JsonDocument.h"

namespace lumivant {

// The backend port each data root had last time, kept in the shell's own state
// (not in the data root, which belongs to the backend as much as to the shell):
// a JSON object from data root to port in "backend-ports.json".
class PortMemory {
 public:
  PortMemory(std::string file, const std::string& dataRoot);

  // The port remembered for the data root; nothing when there is none, or the
  // file is missing or damaged.
  std::optional<uint16_t> recall() const;
  // Keeps port for the data root and every other data root's port as it was,
  // also one another shell keeps at the same time. A memory that cannot be
  // written is simply lost.
  void remember(uint16_t port) const;

 private:
  JsonObjectFile file_;
  std::string key_;
};

// The file of the ports in the shell's state directory, beside the window's frame.
std::string portMemoryFile(const std::string& stateDirectory);

}  // namespace lumivant
