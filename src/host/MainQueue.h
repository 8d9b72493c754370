#pragma once

#include <functional>

namespace lumivant {

// The one way onto the main thread. post and postAfter may be called from any
// thread; the work runs on the main thread in posting order.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  virtual void post(std::function<void()> work) = 0;
  virtual void postAfter(double seconds, std::function<void()> work) = 0;
};

}  // namespace lumivant
