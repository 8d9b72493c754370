#include "backend/PortMemory.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/AtomicFile.h"
#include "base/JsonDocument.h"
#include "base/PathJoin.h"

namespace lumivant {

namespace {

nlohmann::json readPorts(const std::string& file) {
  const auto text = readJsonFileText(file);
  if (!text) return nlohmann::json::object();
  nlohmann::json ports = parseJsonDocument(*text);
  return ports.is_object() ? ports : nlohmann::json::object();
}

}  // namespace

PortMemory::PortMemory(std::string file, std::string dataRoot)
    : file_(std::move(file)), key_(dataRootJsonKey(dataRoot)) {}

std::string portMemoryFile(const std::string& stateDirectory) {
  return joinPath(stateDirectory, "backend-ports.json");
}

std::optional<uint16_t> PortMemory::recall() const {
  const nlohmann::json ports = readPorts(file_);
  const auto entry = ports.find(key_);
  if (entry == ports.end() || !entry->is_number_unsigned()) return std::nullopt;
  const auto port = entry->get<uint64_t>();
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

void PortMemory::remember(uint16_t port) const {
  nlohmann::json ports = readPorts(file_);
  ports[key_] = port;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), error);
  (void)writeFileAtomically(file_, ports.dump(2) + "\n");
}

}  // namespace lumivant
