#include "backend/PortMemory.h"

#include <unicode/unistr.h>

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

// JSON keys are UTF-8 text, and a path is any bytes: a data root whose path is
// not UTF-8 is keyed by its text with U+FFFD in place of what is not, the same
// at every launch.
std::string validUtf8(const std::string& bytes) {
  std::string text;
  icu::UnicodeString::fromUTF8(bytes).toUTF8String(text);
  return text;
}

}  // namespace

PortMemory::PortMemory(std::string file, std::string dataRoot)
    : file_(std::move(file)), key_(validUtf8(canonicalPathText(dataRoot))) {}

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
