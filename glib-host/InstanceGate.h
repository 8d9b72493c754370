#pragma once

#include <gio/gio.h>

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "GObjectPtr.h"

namespace lumivant::gtk {

// One running shell per data root, the GNOME way: a GApplication registered on
// the session bus under the data root's id. The application object is used for
// its bus name only; the window is not tied to it, so the window's app id and
// WM class stay the program's own.
//
// Without a session bus every launch is the first one, as if there were no gate.
class InstanceGate {
 public:
  enum class Takeover {
    // A running instance keeps its place; this launch hands over to it.
    no,
    // This launch replaces the running instance, which is on its way out (the
    // relaunch after a self-update).
    replaceRunning,
  };

  // Registers on the session bus. Blocks for a bus round trip or two.
  InstanceGate(const std::string& applicationId, Takeover takeover);
  ~InstanceGate();
  InstanceGate(const InstanceGate&) = delete;
  InstanceGate& operator=(const InstanceGate&) = delete;

  // Whether another process already runs the shell for this data root.
  bool anotherInstanceRuns() const { return remote_; }
  // Asks the running instance to bring its window to the front, handing on
  // the launcher's activation token. False when it did not answer within a
  // few seconds (it is stopped or hung).
  bool activateRunningInstance();
  // Waits, for up to a few seconds, until the instance this one replaced has
  // gone, so that the backend's port and the window's state are free again.
  // Returns at once when this one replaced nobody.
  void awaitReplacedInstance();

  // Registers afresh after a shell that took this one's place went again
  // without showing its window, so that later launches find this one, and a
  // late report that the name was lost to that shell no longer counts.
  void reclaim();

  // Called on the main thread when a later launch asks this instance to come
  // to the front, with the launcher's activation token (empty without one),
  // and when a relaunched shell has taken this one's place.
  void onActivate(std::function<void(const std::string& token)> activate) {
    activate_ = std::move(activate);
  }
  void onReplaced(std::function<void()> replaced) { replaced_ = std::move(replaced); }

 private:
  static void onActivateSignal(GApplication*, gpointer self);
  static gboolean onNameLost(GApplication*, gpointer self);

  GObjectPtr<GApplication> application_;
  GObjectPtr<GDBusConnection> bus_;
  std::string applicationId_;
  bool remote_ = false;
  // Whether the running instance answered the check made before registering.
  std::optional<bool> runningAnswered_;
  std::optional<pid_t> replacedProcess_;
  std::function<void(const std::string& token)> activate_;
  std::function<void()> replaced_;
};

}  // namespace lumivant::gtk
