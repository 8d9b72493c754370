#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace lumivant::testing {

// Polls the condition until it holds or the time-out passes; true when it held.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits until something exists at path (a process the test started writes it).
inline bool waitForFile(const std::string& path) {
  return waitFor([&] { return std::filesystem::exists(path); });
}

}  // namespace lumivant::testing
