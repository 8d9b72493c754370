#pragma once

#include <sys/types.h>

#include <string>
#include <system_error>

#include "base/FileReading.h"

namespace lumivant {

// The file-system steps of a shell swap, one call each, so that a test can
// make any single step fail the way a full disk or a read-only directory would.
// Every step reports its failure as an error code and changes nothing else.
class SwapFileOperations {
 public:
  virtual ~SwapFileOperations() = default;

  // Creates a new empty file with a unique name beginning with stem in
  // directory, open for writing; sets path to its location.
  virtual std::error_code createTemporaryFile(const std::string& directory, const std::string& stem,
                                              UniqueFd& fd, std::string& path);
  // Appends the whole content of the open file source, from its first byte, to fd.
  virtual std::error_code copyContents(int source, int fd);
  virtual std::error_code setMode(int fd, mode_t mode);
  // Flushes the file's data and attributes to disk, then closes it.
  virtual std::error_code flushAndClose(UniqueFd& fd);
  // A second name for an existing file; fails when linkPath exists.
  virtual std::error_code hardLink(const std::string& existing, const std::string& linkPath);
  // Makes a new file at copyPath (failing when something lies there) with the
  // content and mode 0755 of the regular file existing, flushed to disk. A
  // copy that fails part-way is removed again.
  virtual std::error_code copyAside(const std::string& existing, const std::string& copyPath);
  // Renames over whatever lies at to, in one step.
  virtual std::error_code replace(const std::string& from, const std::string& to);
  virtual std::error_code remove(const std::string& path);
  // Makes the renames in directory durable; best effort.
  virtual void syncDirectory(const std::string& directory);
};

// The operations on the real file system.
SwapFileOperations& systemFileOperations();

}  // namespace lumivant
