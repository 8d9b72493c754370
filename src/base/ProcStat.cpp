#include "base/ProcStat.h"

#include <charconv>
#include <string>
#include <vector>

#include "base/FileReading.h"

namespace lumivant {

namespace {

// Fields counted from 1 as proc(5) does; the first after the command name is
// the third.
constexpr size_t kFirstAfterName = 3;
constexpr size_t kState = 3;
constexpr size_t kParent = 4;
constexpr size_t kGroup = 5;
constexpr size_t kStartTime = 22;

std::vector<std::string_view> fieldsAfterName(std::string_view line) {
  std::vector<std::string_view> fields;
  const size_t close = line.rfind(')');
  if (close == std::string_view::npos) return fields;
  std::string_view rest = line.substr(close + 1);
  while (!rest.empty()) {
    const size_t start = rest.find_first_not_of(" \n");
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const size_t end = rest.find_first_of(" \n");
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  return fields;
}

// The whole field as a number, or nothing when any of it is not.
template <typename Number>
std::optional<Number> numberOf(std::string_view field) {
  Number value{};
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view line) {
  const std::vector<std::string_view> fields = fieldsAfterName(line);
  const auto field = [&](size_t number) { return fields[number - kFirstAfterName]; };
  if (fields.size() <= kStartTime - kFirstAfterName || field(kState).size() != 1) {
    return std::nullopt;
  }
  const std::optional<pid_t> parent = numberOf<pid_t>(field(kParent));
  const std::optional<pid_t> group = numberOf<pid_t>(field(kGroup));
  const auto startTime = numberOf<unsigned long long>(field(kStartTime));
  if (!parent || !group || !startTime) return std::nullopt;
  return ProcStat{field(kState)[0], *parent, *group, *startTime};
}

std::optional<ProcStat> readProcStat(pid_t pid) {
  // A process that ends between the open and the read reads as nothing.
  const std::optional<std::string> line = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!line) return std::nullopt;
  return parseProcStat(*line);
}

}  // namespace lumivant
