#include "selfupdate/StartConfirmation.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace lumivant {

std::shared_ptr<StartConfirmation> StartConfirmation::takeFromEnvironment() {
  const char* value = std::getenv(kStartConfirmationVariable);
  if (!value) return nullptr;
  const std::string_view text(value);
  int fd = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), fd);
  ::unsetenv(kStartConfirmationVariable);
  if (error != std::errc() || end != text.data() + text.size() || fd <= STDERR_FILENO)
    return nullptr;
  // A stray variable must not make this shell adopt, and later close, a
  // descriptor that is something else.
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode)) return nullptr;
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return std::make_shared<StartConfirmation>(UniqueFd(fd));
}

void StartConfirmation::confirm() {
  if (!channel_) return;
  ssize_t sent;
  do {
    sent = ::send(channel_.get(), &kStartedMessage, 1, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
}

bool StartConfirmation::awaitRelauncherEnd(std::chrono::milliseconds limit) {
  if (!channel_) return true;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd closed{channel_.get(), POLLIN, 0};
    const int ready = ::poll(&closed, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char ignored[16];
    const ssize_t count = ::recv(channel_.get(), ignored, sizeof ignored, MSG_DONTWAIT);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) {
      channel_.reset();
      return true;
    }
  }
}

}  // namespace lumivant
