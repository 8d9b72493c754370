// The ledger's records as JSON: what is kept, and what is damage.

#include "selfupdate/SwapLedger.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace lumivant {
namespace {

const std::string kHash(64, 'a');

ShellSwapRecord aRecord() {
  ShellSwapRecord record;
  record.probation = Probation{"1.3",
                               kHash,
                               FileIdentity{2049, 77},
                               2,
                               {{LaunchStamp{"boot-1", 4242, 1234567}, true, false}}};
  record.addFailed({"1.2", std::string(64, 'b'), "its launch as process 9 ended without quitting"});
  return record;
}

TEST(SwapLedgerTest, ARecordReadsBackAsItWasWritten) {
  const ShellSwapRecord record = aRecord();
  const std::optional<ShellSwapRecord> read = recordFromJson(recordToJson(record));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->probation, record.probation);
  ASSERT_EQ(read->failed.size(), 1u);
  EXPECT_EQ(read->failed[0].version, "1.2");
  EXPECT_EQ(read->failed[0].reason, record.failed[0].reason);
  EXPECT_TRUE(read->hasFailed(std::string(64, 'b')));
  EXPECT_FALSE(read->hasFailed(kHash));
}

TEST(SwapLedgerTest, AnythingButAWholeRecordIsDamage) {
  const nlohmann::json whole = recordToJson(aRecord());
  const std::vector<std::pair<const char*, std::function<void(nlohmann::json&)>>> damages = {
      {"not an object", [](nlohmann::json& v) { v = nlohmann::json::array(); }},
      {"no list of failed shells", [](nlohmann::json& v) { v.erase("failed"); }},
      {"a hash that is no hash", [](nlohmann::json& v) { v["probation"]["sha256"] = "abc"; }},
      {"upper-case hex",
       [](nlohmann::json& v) { v["failed"][0]["sha256"] = std::string(64, 'B'); }},
      {"a negative count", [](nlohmann::json& v) { v["probation"]["clean_launches"] = -1; }},
      {"a launch without its stamp",
       [](nlohmann::json& v) { v["probation"]["launches"][0].erase("start"); }},
      {"a flag that is a number",
       [](nlohmann::json& v) { v["probation"]["launches"][0]["window"] = 1; }},
      {"more launches than anybody makes",
       [](nlohmann::json& v) {
         auto& launches = v["probation"]["launches"];
         while (launches.size() <= 64) launches.push_back(launches[0]);
       }},
  };
  for (const auto& [what, damage] : damages) {
    nlohmann::json damaged = whole;
    damage(damaged);
    EXPECT_FALSE(recordFromJson(damaged)) << what;
  }
}

TEST(SwapLedgerTest, FailedShellsAreKeptOnceEachAndTheOldestGoBeyondSixteen) {
  ShellSwapRecord record;
  for (char c = 'a'; c < 'a' + 20; ++c)
    record.addFailed(
        {std::string(1, c), std::string(64, static_cast<char>('a' + (c - 'a') % 6)), "failed"});
  // Six different builds, each once, the latest version it failed under kept.
  ASSERT_EQ(record.failed.size(), 6u);
  EXPECT_EQ(record.failed.back().version, "t");
  for (char c = 0; c < 20; ++c) {
    std::string hash(64, '0');
    hash[0] = static_cast<char>('0' + c % 10);
    hash[1] = static_cast<char>('0' + c / 10);
    record.addFailed({"1." + std::to_string(c), hash, "failed"});
  }
  ASSERT_EQ(record.failed.size(), 16u);
  EXPECT_EQ(record.failed.front().version, "1.4");
  EXPECT_EQ(record.failed.back().version, "1.19");
}

// The records of executables that are gone go with them; one whose path's
// status cannot be read (here a loop of links, and a name too long, which
// stand for no permission, an I/O error or a stale network handle) may be
// there still, and keeps its record: its failed shells are never tried again.
TEST(SwapLedgerTest, OnlyAnExecutableFoundMissingLosesItsRecord) {
  testing::TempDir dir;
  std::filesystem::create_directory_symlink("loop", dir / "loop");
  testing::writeFile(dir / "present/Lumivant", "the shell");
  struct Case {
    std::string executable;
    bool kept;
  };
  const std::vector<Case> cases = {
      {dir / "missing/Lumivant", false},
      {dir / "present/Lumivant", true},
      {dir / "loop/Lumivant", true},
      {dir / (std::string(300, 'n') + "/Lumivant"), true},
  };
  const SwapLedger ledger(dir / "shell-swaps.json");
  {
    std::optional<SwapLedger::Held> held = ledger.hold(std::chrono::seconds(5));
    ASSERT_TRUE(held);
    for (const Case& c : cases) held->record(c.executable) = aRecord();
    ASSERT_TRUE(held->write());
  }
  {
    // A later write, of another executable's record, judges the others.
    std::optional<SwapLedger::Held> held = ledger.hold(std::chrono::seconds(5));
    ASSERT_TRUE(held);
    held->record(dir / "present/Other") = aRecord();
    ASSERT_TRUE(held->write());
  }
  for (const Case& c : cases)
    EXPECT_EQ(!ledger.peek(c.executable).empty(), c.kept) << c.executable.substr(0, 80);
}

}  // namespace
}  // namespace lumivant
