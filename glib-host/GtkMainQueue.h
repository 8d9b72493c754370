#pragma once

#include "host/MainQueue.h"

namespace lumivant::gtk {

// Posts work to GLib's default main context, from any thread.
class GtkMainQueue final : public MainQueue {
 public:
  void post(std::function<void()> work) override;
  void postAfter(double seconds, std::function<void()> work) override;
};

}  // namespace lumivant::gtk
