#include "base/OwnChildren.h"

#include <mutex>
#include <set>

namespace lumivant {

namespace {

struct Registry {
  std::mutex mutex;
  std::set<pid_t> children;  // guarded by mutex
  int startsUnderWay = 0;    // guarded by mutex
};

// Never destroyed: children may be started and reaped by threads that run
// while the process exits.
Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

}  // namespace

OwnChildStart::OwnChildStart() {
  std::lock_guard lock(registry().mutex);
  ++registry().startsUnderWay;
}

OwnChildStart::~OwnChildStart() {
  std::lock_guard lock(registry().mutex);
  --registry().startsUnderWay;
}

void OwnChildStart::started(pid_t pid) {
  std::lock_guard lock(registry().mutex);
  registry().children.insert(pid);
}

void forgetOwnChild(pid_t pid) {
  std::lock_guard lock(registry().mutex);
  registry().children.erase(pid);
}

bool mayBeOwnChild(pid_t pid) {
  std::lock_guard lock(registry().mutex);
  return registry().startsUnderWay > 0 || registry().children.count(pid) > 0;
}

}  // namespace lumivant
