#pragma once

#include <gio/gio.h>

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
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
  // The application registered for this data root, which sends the desktop's
  // notifications; null without a session bus or when another process runs it.
  GApplication* registeredApplication() const { return remote_ ? nullptr : application_.get(); }
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
  // late report that the name was lost to that shell no longer counts. Does
  // nothing while this one still holds the name.
  void reclaim();

  // Called on the main thread when a later launch asks this instance to come
  // to the front, with the launcher's activation token (empty without one),
  // and when a relaunched shell has taken this one's place.
  void onActivate(std::function<void(const std::string& token)> activate) {
    activate_ = std::move(activate);
  }
  void onReplaced(std::function<void()> replaced) { replaced_ = std::move(replaced); }

  // From now on this instance tells a later launch that it is quitting, so
  // that the launch waits for it to go and then starts, instead of asking it
  // for a window it will not show. Answered even while the main thread is
  // busy stopping the backend.
  void markQuitting();

 private:
  static void onActivateSignal(GApplication*, gpointer self);
  static gboolean onNameLost(GApplication*, gpointer self);
  // Meets the instance that holds the name at this launch: true when it has
  // gone (if it was quitting, once it has), false when this launch hands over.
  bool mayTakeNameFromOwner();
  // Answers a later launch's question whether this instance runs or quits.
  void answerStateQuestions();

  GObjectPtr<GApplication> application_;
  GObjectPtr<GDBusConnection> bus_;
  std::string applicationId_;
  bool remote_ = false;
  // Whether the running instance answered the check made before registering.
  std::optional<bool> runningAnswered_;
  std::optional<pid_t> replacedProcess_;
  std::function<void(const std::string& token)> activate_;
  std::function<void()> replaced_;
  // Read on GDBus's worker thread.
  std::shared_ptr<std::atomic<bool>> quitting_ = std::make_shared<std::atomic<bool>>(false);
  guint stateFilter_ = 0;
};

}  // namespace lumivant::gtk
