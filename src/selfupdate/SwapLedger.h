#pragma once

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/StateFile.h"
#include "selfupdate/LaunchStamp.h"

namespace lumivant {

// A launch of a shell on probation, as it reported itself.
struct ProbationLaunch {
  LaunchStamp stamp;
  bool window = false;  // its window came up
  bool page = false;    // the app's first page finished loading in it

  bool operator==(const ProbationLaunch&) const = default;
};

// A swapped-in shell that has yet to prove itself; the previous shell stays
// beside it until it has.
struct Probation {
  std::string version;  // the payload version swapped in; empty when nobody recorded it
  std::string sha256;   // the swapped-in shell's bytes
  FileIdentity file;    // the file the swap put at the executable's path
  int cleanLaunches = 0;
  // Its launches that have not ended cleanly: running, or ended otherwise.
  std::vector<ProbationLaunch> launches;

  bool operator==(const Probation&) const = default;
};

// A staged shell that failed: its trial, its start, or its probation.
struct FailedShell {
  std::string version;
  std::string sha256;
  std::string reason;
};

// What self-update keeps about one executable path.
struct ShellSwapRecord {
  std::optional<Probation> probation;
  std::vector<FailedShell> failed;  // the oldest first

  // Whether a shell with these bytes failed here. Bytes, not versions, are
  // what fail: the same bytes under another version fail again, while another
  // build of the same version deserves its own trial.
  bool hasFailed(const std::string& sha256) const;
  // Remembers a failed shell, forgetting the oldest beyond a bound.
  void addFailed(FailedShell shell);
  bool empty() const { return !probation && failed.empty(); }
};

// The record as JSON, and back; nothing when the value is not a whole record.
nlohmann::json recordToJson(const ShellSwapRecord& record);
std::optional<ShellSwapRecord> recordFromJson(const nlohmann::json& value);

// The self-update state of every executable of one user's shells, a JSON
// object keyed by executable path in the shell's state directory. Shells of
// several data roots may run one executable: whatever one of them decides
// about that executable's files (a swap, a roll-back, a confirmation, the
// removal of what a swap left) it decides and does while it holds the
// ledger's lock, so that none acts on files another is changing, and each
// step happens once.
class SwapLedger {
 public:
  explicit SwapLedger(std::string path);

  // The record as the file holds it now, read without the lock: enough to
  // see that there is nothing to do.
  ShellSwapRecord peek(const std::string& executable) const;

  // The ledger while its lock is held.
  class Held {
   public:
    ShellSwapRecord& record(const std::string& executable);
    // Writes every record back; whether the file now holds them.
    bool write();

   private:
    friend class SwapLedger;
    Held(StateFile file, StateFile::Lock lock);

    StateFile file_;
    StateFile::Lock lock_;
    nlohmann::json entries_;
    std::map<std::string, ShellSwapRecord> records_;
    bool leftSomethingOut_ = false;
  };
  // Nothing when the lock could not be had within wait.
  std::optional<Held> hold(std::chrono::milliseconds wait) const;

  const std::string& path() const { return file_.path(); }

 private:
  StateFile file_;
};

// The key of an executable's record: its path as UTF-8 text.
std::string ledgerKey(const std::string& executable);

}  // namespace lumivant
