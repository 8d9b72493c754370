#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "base/UniqueFd.h"

namespace lumivant {

// The private folder a download is written in, beside the file the user
// chose: this prefix and eight letters or digits. Hidden, so that neither the
// save panel nor a file manager shows it as one of the user's files, and named
// so that one left behind by a shell that was killed is recognisable.
inline constexpr std::string_view kPartialDownloadPrefix = ".lumivant-download-";

// Whether a file name is such a folder's.
bool isPartialDownloadName(std::string_view name);

// What stood under the chosen name when the download was put in its place.
struct ReplacedFile {
  bool regularFile = true;  // false for a symbolic link or anything else
  uid_t owner = 0;
  mode_t mode = 0;
};

// The permissions of the saved file. A regular file of the user's own that it
// replaces lends it its read and write permissions, never set-id bits; any
// other file gets what the umask leaves of 0666, as every new file does.
mode_t savedFileMode(const std::optional<ReplacedFile>& replaced, uid_t user, mode_t umask);

// Why a file could not be saved, in the user's words, from the system's error.
std::string savingProblem(int errnum);

// A download's file until it is whole. The engine writes it in a private
// folder beside the chosen file; only once it is complete does it take the
// chosen file's place, in one rename, so that the file standing there (or its
// absence) stays exactly as it was until then. What was written goes with the
// object unless it was completed.
//
// While the object lives it holds a lock on its folder. A folder that nobody
// holds is a leftover of a shell that ended without cleaning up: the next
// download into the same directory removes it.
class PartialDownload {
 public:
  // Makes the private folder beside chosenPath (an absolute path). Gives the
  // failure alert's text instead when the folder cannot be made there.
  static std::variant<PartialDownload, std::string> create(const std::string& chosenPath);

  PartialDownload(PartialDownload&& other) noexcept = default;
  PartialDownload& operator=(PartialDownload&& other) noexcept;
  PartialDownload(const PartialDownload&) = delete;
  PartialDownload& operator=(const PartialDownload&) = delete;
  ~PartialDownload() { discard(); }

  const std::string& chosenPath() const { return chosenPath_; }
  // The file the engine is to create and write.
  std::string writtenPath() const;

  // Puts the written file, which must hold exactly receivedBytes, in place of
  // the chosen one, flushed to disk first. Gives the failure alert's text when
  // it cannot; the chosen file is then as it was.
  std::optional<std::string> complete(uint64_t receivedBytes);
  // Removes what was written and the folder.
  void discard();

 private:
  PartialDownload(std::string chosenPath, std::string folderName, UniqueFd parent, UniqueFd folder)
      : chosenPath_(std::move(chosenPath)),
        folderName_(std::move(folderName)),
        parent_(std::move(parent)),
        folder_(std::move(folder)) {}

  std::string chosenPath_;
  std::string folderName_;
  UniqueFd parent_;  // the chosen file's directory
  UniqueFd folder_;  // the private folder, locked while this object lives
};

}  // namespace lumivant
