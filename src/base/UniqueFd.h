#pragma once

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace lumivant {

// Sole owner of one open file descriptor; closes it when it goes.
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
  int release() { return std::exchange(fd_, -1); }

  // Closes now and says whether the close reported an error. Linux releases
  // the descriptor even when close fails, so it is never retried.
  std::error_code close() {
    if (fd_ < 0) return {};
    if (::close(release()) != 0 && errno != EINTR) return {errno, std::generic_category()};
    return {};
  }
  // Closes now; where nobody can act on a failure to close.
  void reset() { (void)close(); }

 private:
  int fd_ = -1;
};

}  // namespace lumivant
