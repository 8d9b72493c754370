#include "host/Executor.h"

#include <thread>

namespace lumivant {

Executor detachedThreadExecutor() {
  return [](std::function<void()> work) { std::thread(std::move(work)).detach(); };
}

}  // namespace lumivant
