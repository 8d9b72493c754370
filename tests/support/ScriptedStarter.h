#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backend/Backend.h"
#include "backend/LocalStartup.h"
#include "support/ScriptedChild.h"
#include "support/TempDir.h"

namespace lumivant::testing {

// Hands out backends whose interpreter is a scripted child, started but not
// waited for, and counts the starts. Each start is answered by the next outcome
// the test queued, or by a running scripted backend.
class ScriptedStarter {
 public:
  explicit ScriptedStarter(const TempDir& dir) : dir_(dir), child_(dir) {}

  LocalStartup::Starter function() {
    return [this](const LocalStartSite& site, const LocalStartRun& run) {
      std::lock_guard lock(mutex_);
      sites_.push_back(site);
      runs_.push_back(run);
      if (!outcomes_.empty()) {
        LocalStartOutcome next = outcomes_.front();
        outcomes_.erase(outcomes_.begin());
        return next;
      }
      // Answers the run's secret when it has one, as a real start does.
      auto backend = std::make_shared<Backend>(child_.path(), dir_ / "logs",
                                               BackendSetup{nullptr, std::nullopt, run.secret});
      backend->start();
      handedOut_.push_back(backend);
      return LocalStartOutcome(backend);
    };
  }

  void queue(LocalStartOutcome outcome) {
    std::lock_guard lock(mutex_);
    outcomes_.push_back(std::move(outcome));
  }
  int starts() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sites_.size());
  }
  LocalStartSite site(size_t index) {
    std::lock_guard lock(mutex_);
    return sites_.at(index);
  }
  LocalStartRun run(size_t index) {
    std::lock_guard lock(mutex_);
    return runs_.at(index);
  }
  std::shared_ptr<Backend> handedOut(size_t index) {
    std::lock_guard lock(mutex_);
    return handedOut_.at(index);
  }
  // Makes the running scripted backend exit with the status.
  void exitWith(int status) const { child_.exitWith(status); }

 private:
  const TempDir& dir_;
  ScriptedChild child_;
  std::mutex mutex_;
  std::vector<LocalStartSite> sites_;
  std::vector<LocalStartRun> runs_;
  std::vector<LocalStartOutcome> outcomes_;
  std::vector<std::shared_ptr<Backend>> handedOut_;
};

// An executor that keeps the work it is given until the test runs it.
struct HeldWork {
  std::vector<std::function<void()>> items;
  Executor executor() {
    return [this](std::function<void()> work) { items.push_back(std::move(work)); };
  }
  void runAll() {
    auto running = std::move(items);
    items.clear();
    for (auto& work : running) work();
  }
};

}  // namespace lumivant::testing
