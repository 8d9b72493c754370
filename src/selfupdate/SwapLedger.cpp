#include "selfupdate/SwapLedger.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <filesystem>

#include "base/JsonDocument.h"
#include "selfupdate/PathGone.h"

namespace lumivant {

namespace {

// A record is a few hundred bytes; no user has hundreds of shells.
constexpr size_t kLedgerLimitBytes = size_t{1} << 20;
// Enough to remember every build that failed on the way to a working one.
constexpr size_t kFailedShellsKept = 16;
// More launches of one shell at once than anybody makes; entries beyond are
// damage.
constexpr size_t kLaunchesKept = 64;

bool isHash(const nlohmann::json& value) {
  if (!value.is_string()) return false;
  const auto& text = value.get_ref<const std::string&>();
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// nlohmann keeps what it wrote from a signed type as a signed number.
bool isCount(const nlohmann::json& value) {
  return value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0);
}

bool isShortText(const nlohmann::json& value) {
  return value.is_string() && value.get_ref<const std::string&>().size() <= 4096;
}

std::optional<ProbationLaunch> launchFromJson(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  const auto boot = value.find("boot");
  const auto pid = value.find("pid");
  const auto start = value.find("start");
  const auto window = value.find("window");
  const auto page = value.find("page");
  if (boot == value.end() || !isShortText(*boot) || pid == value.end() || !isCount(*pid) ||
      start == value.end() || !isCount(*start) || window == value.end() || !window->is_boolean() ||
      page == value.end() || !page->is_boolean())
    return {};
  ProbationLaunch launch;
  launch.stamp =
      LaunchStamp{boot->get<std::string>(),
                  static_cast<int64_t>(std::min<uint64_t>(pid->get<uint64_t>(), INT32_MAX)),
                  start->get<uint64_t>()};
  launch.window = window->get<bool>();
  launch.page = page->get<bool>();
  return launch;
}

std::optional<Probation> probationFromJson(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  const auto version = value.find("version");
  const auto sha = value.find("sha256");
  const auto device = value.find("device");
  const auto inode = value.find("inode");
  const auto clean = value.find("clean_launches");
  const auto launches = value.find("launches");
  if (version == value.end() || !isShortText(*version) || sha == value.end() || !isHash(*sha) ||
      device == value.end() || !isCount(*device) || inode == value.end() || !isCount(*inode) ||
      clean == value.end() || !isCount(*clean) || launches == value.end() ||
      !launches->is_array() || launches->size() > kLaunchesKept)
    return {};
  Probation probation;
  probation.version = version->get<std::string>();
  probation.sha256 = sha->get<std::string>();
  probation.file = FileIdentity{device->get<uint64_t>(), inode->get<uint64_t>()};
  probation.cleanLaunches = static_cast<int>(std::min<uint64_t>(clean->get<uint64_t>(), 1000));
  for (const nlohmann::json& entry : *launches) {
    std::optional<ProbationLaunch> launch = launchFromJson(entry);
    if (!launch) return {};
    probation.launches.push_back(std::move(*launch));
  }
  return probation;
}

std::optional<FailedShell> failedFromJson(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  const auto version = value.find("version");
  const auto sha = value.find("sha256");
  const auto reason = value.find("reason");
  if (version == value.end() || !isShortText(*version) || sha == value.end() || !isHash(*sha) ||
      reason == value.end() || !isShortText(*reason))
    return {};
  return FailedShell{version->get<std::string>(), sha->get<std::string>(),
                     reason->get<std::string>()};
}

}  // namespace

bool ShellSwapRecord::hasFailed(const std::string& sha256) const {
  return std::any_of(failed.begin(), failed.end(),
                     [&](const FailedShell& shell) { return shell.sha256 == sha256; });
}

void ShellSwapRecord::addFailed(FailedShell shell) {
  std::erase_if(failed, [&](const FailedShell& known) { return known.sha256 == shell.sha256; });
  failed.push_back(std::move(shell));
  if (failed.size() > kFailedShellsKept)
    failed.erase(failed.begin(), failed.end() - static_cast<ptrdiff_t>(kFailedShellsKept));
}

nlohmann::json recordToJson(const ShellSwapRecord& record) {
  nlohmann::json value = nlohmann::json::object();
  if (record.probation) {
    const Probation& probation = *record.probation;
    nlohmann::json launches = nlohmann::json::array();
    for (const ProbationLaunch& launch : probation.launches) {
      launches.push_back({{"boot", launch.stamp.boot},
                          {"pid", launch.stamp.pid},
                          {"start", launch.stamp.start},
                          {"window", launch.window},
                          {"page", launch.page}});
    }
    value["probation"] = {{"version", probation.version},
                          {"sha256", probation.sha256},
                          {"device", probation.file.device},
                          {"inode", probation.file.inode},
                          {"clean_launches", probation.cleanLaunches},
                          {"launches", std::move(launches)}};
  }
  nlohmann::json failed = nlohmann::json::array();
  for (const FailedShell& shell : record.failed) {
    failed.push_back(
        {{"version", shell.version}, {"sha256", shell.sha256}, {"reason", shell.reason}});
  }
  value["failed"] = std::move(failed);
  return value;
}

std::optional<ShellSwapRecord> recordFromJson(const nlohmann::json& value) {
  if (!value.is_object()) return {};
  ShellSwapRecord record;
  if (const auto probation = value.find("probation"); probation != value.end()) {
    record.probation = probationFromJson(*probation);
    if (!record.probation) return {};
  }
  const auto failed = value.find("failed");
  if (failed == value.end() || !failed->is_array()) return {};
  for (const nlohmann::json& entry : *failed) {
    std::optional<FailedShell> shell = failedFromJson(entry);
    if (!shell) return {};
    record.failed.push_back(std::move(*shell));
  }
  return record;
}

std::string ledgerKey(const std::string& executable) {
  std::string text;
  icu::UnicodeString::fromUTF8(executable).toUTF8String(text);
  return text;
}

SwapLedger::SwapLedger(std::string path) : file_(std::move(path), kLedgerLimitBytes) {}

ShellSwapRecord SwapLedger::peek(const std::string& executable) const {
  const FileRead current = file_.read();
  if (current.state != FileState::ok) return {};
  const JsonEntries entries = parseJsonEntries(current.text);
  const auto entry = entries.object.find(ledgerKey(executable));
  if (entry == entries.object.end()) return {};
  return recordFromJson(*entry).value_or(ShellSwapRecord{});
}

std::optional<SwapLedger::Held> SwapLedger::hold(std::chrono::milliseconds wait) const {
  std::optional<StateFile::Lock> lock = file_.lock(wait);
  if (!lock) return {};
  return Held(file_, std::move(*lock));
}

SwapLedger::Held::Held(StateFile file, StateFile::Lock lock)
    : file_(std::move(file)), lock_(std::move(lock)) {
  const FileRead current = file_.read();
  JsonEntries entries;
  if (current.state == FileState::ok) entries = parseJsonEntries(current.text);
  leftSomethingOut_ = entries.leftSomethingOut || current.state == FileState::damaged;
  entries_ = std::move(entries.object);
}

ShellSwapRecord& SwapLedger::Held::record(const std::string& executable) {
  const std::string key = ledgerKey(executable);
  if (auto known = records_.find(key); known != records_.end()) return known->second;
  ShellSwapRecord record;
  if (const auto entry = entries_.find(key); entry != entries_.end()) {
    if (std::optional<ShellSwapRecord> read = recordFromJson(*entry)) {
      record = std::move(*read);
    } else {
      // What cannot be read is left out; the file as it was is set aside.
      leftSomethingOut_ = true;
    }
  }
  return records_.emplace(key, std::move(record)).first->second;
}

bool SwapLedger::Held::write() {
  nlohmann::json entries = entries_;
  // The records of executables that are gone (a bundle deleted or moved) go
  // with them, so that the ledger never outgrows the bundles that exist.
  for (auto entry = entries.begin(); entry != entries.end();) {
    const bool gone = !records_.contains(entry.key()) && pathIsGone(entry.key());
    entry = gone ? entries.erase(entry) : std::next(entry);
  }
  for (const auto& [key, record] : records_) {
    if (record.empty()) {
      entries.erase(key);
    } else {
      entries[key] = recordToJson(record);
    }
  }
  const std::string text =
      entries.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  const bool written = file_.update(
      [&](const FileRead&) {
        return StateFile::Revision{text, leftSomethingOut_};
      },
      lock_);
  if (written) {
    entries_ = std::move(entries);
    leftSomethingOut_ = false;
  }
  return written;
}

}  // namespace lumivant
