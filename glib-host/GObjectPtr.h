#pragma once

#include <glib-object.h>

#include <utility>

namespace lumivant::gtk {

// Owns one reference to a GObject. Adopt takes over a reference the caller
// already holds (a constructor's result); retain adds one.
template <class T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  static GObjectPtr adopt(T* object) { return GObjectPtr(object); }
  static GObjectPtr retain(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr(object);
  }
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  ~GObjectPtr() { reset(); }

  void reset() {
    if (object_) g_object_unref(std::exchange(object_, nullptr));
  }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit GObjectPtr(T* object) : object_(object) {}
  T* object_ = nullptr;
};

}  // namespace lumivant::gtk
