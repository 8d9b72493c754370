#include "backend/PortMemory.h"

#include <nlohmann/json.hpp>

#include "base/JsonDocument.h"
#include "base/PathJoin.h"

namespace lumivant {

PortMemory::PortMemory(std::string file, const std::string& dataRoot)
    : file_(std::move(file)), key_(dataRootJsonKey(dataRoot)) {}

std::string portMemoryFile(const std::string& stateDirectory) {
  return joinPath(stateDirectory, "backend-ports.json");
}

std::optional<uint16_t> PortMemory::recall() const {
  const nlohmann::json entry = file_.value(key_);
  if (!entry.is_number_unsigned()) return std::nullopt;
  const auto port = entry.get<uint64_t>();
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

void PortMemory::remember(uint16_t port) const { (void)file_.setValue(key_, port); }

}  // namespace lumivant
