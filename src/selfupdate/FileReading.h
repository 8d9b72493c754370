#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace lumivant {

// Owns one file descriptor and closes it when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and says whether the close reported an error.
  std::error_code close();
  void reset() { (void)close(); }

 private:
  int fd_ = -1;
};

// Opens a regular file for reading. Anything else (a directory, a FIFO that
// would block the launch, a device) is refused with an error.
UniqueFd openRegularFileForReading(const std::string& path, std::error_code& error);

// Hands the file's bytes to consume block by block, in order, from one open
// and one pass over the file. An error when it cannot be opened or read.
std::error_code readInBlocks(const std::string& path,
                             const std::function<void(std::string_view block)>& consume);

// The whole content of a regular file; nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// Writes every byte, continuing after short writes and interruptions.
std::error_code writeAll(int fd, std::string_view bytes);

}  // namespace lumivant
