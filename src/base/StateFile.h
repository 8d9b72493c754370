#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "base/FileReading.h"
#include "base/UniqueFd.h"

namespace lumivant {

// How long an update waits for another shell's update of the same file before
// it gives up its own. Another shell holds the lock for a read and a write of a
// small file; one that holds it longer is stopped or hung.
inline constexpr int kStateLockWaitMilliseconds = 2000;

// A file of the shell's own state, rewritten whole, that several shells may
// share (one per data root). Reading never changes it. An update reads it,
// revises it and writes it back while holding a lock on a file beside it
// ("<name>.lock"), so that shells updating it at once each keep the other's
// change; the write replaces the file atomically, so readers never take the
// lock and never see half a file.
//
// What an update cannot read is never written over: a damaged file (not a
// regular file, over the bound, or content the reviser cannot take whole) is
// first set aside as "<name>.damaged", the last one only, and one the system
// would not give is left as it is and not updated.
class StateFile {
 public:
  StateFile(std::string path, size_t limit) : path_(std::move(path)), limit_(limit) {}

  // The file as it is now. Links are refused: the shell writes these files by
  // renaming over them, so a link in their place was put there by something
  // else, and following it would read, and then replace, a file elsewhere.
  FileRead read() const { return readFileUpTo(path_, limit_, Links::refuse); }

  // The new content the reviser makes of the current one. When it could not
  // take all of the current content (a damaged entry left out, say), that
  // content is set aside before the new one replaces it.
  struct Revision {
    std::string text;
    bool leavesSomethingOut = false;
  };
  // Called with the current file (ok, missing or damaged; never unreadable);
  // nothing leaves the file as it is.
  using Reviser = std::function<std::optional<Revision>(const FileRead& current)>;

  // Whether the file now holds the reviser's text. False, with the file as it
  // was, when the lock could not be had in time, the file could not be read or
  // set aside, the reviser wanted no change, or the write failed. Creates the
  // file's directory, readable by the user alone, when it is missing.
  bool update(const Reviser& revise) const;

  // The lock an update takes, held by a caller for longer: one that decides
  // on the file's content and changes other files accordingly holds it for
  // the whole step, so that no other shell decides on the same content
  // meanwhile, and updates the file under it.
  class Lock {
   public:
    explicit Lock(UniqueFd fd) : fd_(std::move(fd)) {}

   private:
    UniqueFd fd_;
  };
  // Nothing when the lock could not be had within wait. Creates the file's
  // directory, as update does.
  std::optional<Lock> lock(std::chrono::milliseconds wait) const;
  // An update by a caller that holds the lock.
  bool update(const Reviser& revise, const Lock& held) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  size_t limit_;
};

// Where a damaged state file at path is set aside.
std::string setAsidePath(const std::string& path);

}  // namespace lumivant
