#pragma once

#include <functional>

namespace lumivant {

// Runs work that may block (a child's start, a network probe) away from the
// main thread. What the work finds goes back through the MainQueue. Tests hand
// in an executor that keeps the work until they choose to run it.
using Executor = std::function<void(std::function<void()> work)>;

// Runs each piece of work on a thread of its own, which nobody joins.
Executor detachedThreadExecutor();

}  // namespace lumivant
