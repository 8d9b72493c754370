#pragma once

#include <chrono>
#include <memory>

#include "base/UniqueFd.h"

namespace lumivant {

// A shell relaunched after a swap holds one end of a socket whose other end the
// shell that swapped keeps. This variable names the relaunched shell's end.
inline constexpr const char* kStartConfirmationVariable = "LUMIVANT_START_CONFIRMATION_FD";
// The descriptor the relaunched shell finds its end at.
inline constexpr int kStartConfirmationDescriptor = 3;
// What the relaunched shell sends once it shows its window.
inline constexpr char kStartedMessage = 'S';

// The relaunched shell's side: it tells the shell that relaunched it that it
// has started, and learns through the same socket when that shell has ended.
class StartConfirmation {
 public:
  // The socket the environment names, made close-on-exec so that no child
  // inherits it, with the variable removed; null when there is none or the
  // descriptor is no socket.
  static std::shared_ptr<StartConfirmation> takeFromEnvironment();

  explicit StartConfirmation(UniqueFd channel) : channel_(std::move(channel)) {}

  // Says that this shell started. A relauncher that has already gone is no error.
  void confirm();
  // Blocks until the relaunching shell has closed its end, which it does by
  // ending, or until limit passed; true when it ended.
  bool awaitRelauncherEnd(std::chrono::milliseconds limit);

 private:
  UniqueFd channel_;
};

}  // namespace lumivant
