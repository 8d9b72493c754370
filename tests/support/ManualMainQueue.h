#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "host/MainQueue.h"

namespace lumivant::testing {

// A main queue that the test drives. Posts may come from any thread; work runs
// only when the test says so, on the test's thread. Delayed work waits for the
// test to advance the queue's own clock.
class ManualMainQueue final : public MainQueue {
 public:
  void post(std::function<void()> work) override { postAfter(0, std::move(work)); }

  void postAfter(double seconds, std::function<void()> work) override {
    {
      std::lock_guard lock(mutex_);
      items_.push_back({now_ + seconds, std::move(work)});
      ++posted_;
    }
    changed_.notify_all();
  }

  // Runs everything that is due, including work posted by what runs. Returns how many ran.
  int runPending() {
    int ran = 0;
    while (auto work = takeDue()) {
      work();
      ++ran;
    }
    return ran;
  }

  // Moves the clock forward and runs what became due.
  int advance(double seconds) {
    {
      std::lock_guard lock(mutex_);
      now_ += seconds;
    }
    return runPending();
  }

  // Waits, in real time, until some work is due, then runs everything due.
  // False when nothing arrived within the limit.
  bool runNext(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, limit, [&] { return hasDueLocked(); })) return false;
    lock.unlock();
    runPending();
    return true;
  }

  // Runs posted work as it arrives until the condition holds or the limit passes.
  bool runUntil(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    runPending();
    while (!condition()) {
      std::unique_lock lock(mutex_);
      const bool due = changed_.wait_until(lock, deadline, [&] { return hasDueLocked(); });
      lock.unlock();
      if (!due) return condition();
      runPending();
    }
    return true;
  }

  double now() const {
    std::lock_guard lock(mutex_);
    return now_;
  }
  // How many items were ever posted, from any thread.
  size_t postedCount() const {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  // Waits, in real time, until at least count items were ever posted, without running them.
  bool waitForPosted(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return posted_ >= count; });
  }
  size_t pendingCount() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  struct Item {
    double due;
    std::function<void()> work;
  };

  bool hasDueLocked() const {
    for (const auto& item : items_)
      if (item.due <= now_) return true;
    return false;
  }

  std::function<void()> takeDue() {
    std::lock_guard lock(mutex_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (it->due <= now_) {
        auto work = std::move(it->work);
        items_.erase(it);
        return work;
      }
    }
    return nullptr;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  double now_ = 0;
  size_t posted_ = 0;
};

}  // namespace lumivant::testing
