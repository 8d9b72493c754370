#include "InstanceGate.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ActivatingApplication.h"
#include "base/UniqueFd.h"

namespace lumivant::gtk {

namespace {

// How long a relaunched shell waits for the instance it replaces: that one
// quits at once, stopping its backend (which may take its full grace period).
constexpr int kOutgoingInstanceWaitMilliseconds = 3000;
// How long a later launch waits for the running instance to answer its
// activation before it tells the user that instance does not respond.
constexpr int kActivationAnswerMilliseconds = 3000;

// The object path GApplication exports its interfaces at: the id with dots as
// slashes and dashes as underscores.
std::string objectPathOf(const std::string& applicationId) {
  std::string path = "/" + applicationId;
  for (char& c : path) {
    if (c == '.') c = '/';
    if (c == '-') c = '_';
  }
  return path;
}

bool nameHasOwner(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr, nullptr);
  gboolean owned = FALSE;
  if (reply) g_variant_get(reply, "(b)", &owned);
  return owned;
}

enum class Answer { answered, silent, gone };

// Asks the instance that owns the name to come to the front, the way
// GApplication does, but waiting only so long for its answer. It answers once
// its main loop has handled the request.
Answer activateOwner(GDBusConnection* bus, const std::string& applicationId) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, applicationId.c_str(), objectPathOf(applicationId).c_str(),
      "org.freedesktop.Application", "Activate",
      g_variant_new("(@a{sv})", activationPlatformData()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
      kActivationAnswerMilliseconds, nullptr, &error);
  if (reply) return Answer::answered;
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) return Answer::silent;
  if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)) {
    return Answer::gone;
  }
  return Answer::answered;  // it is there and answers, if only with an error
}

// The session bus that GApplication registers on, or null when there is none.
GObjectPtr<GDBusConnection> sessionBus() {
  return GObjectPtr<GDBusConnection>::adopt(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
}

// The process that owns name on the bus, if any.
std::optional<pid_t> ownerOf(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (!reply) return std::nullopt;
  guint32 pid = 0;
  g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}

// Waits until the process has ended, for up to the given time. A process that
// is already gone returns at once.
void waitForEnd(pid_t pid, int timeoutMilliseconds) {
  const UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!process) return;
  pollfd ended{process.get(), POLLIN, 0};
  (void)::poll(&ended, 1, timeoutMilliseconds);
}

}  // namespace

InstanceGate::InstanceGate(const std::string& applicationId, Takeover takeover)
    : applicationId_(applicationId) {
  bus_ = sessionBus();
  if (!bus_) return;  // no session bus: nothing to meet another instance on
  // The shell quits through its own termination path, not because the bus went.
  g_dbus_connection_set_exit_on_close(bus_.get(), FALSE);

  // Asked before registering: a GApplication that finds the name taken waits
  // for the running instance's answer for as long as the bus allows, which an
  // instance that is stopped or hung never gives.
  if (takeover == Takeover::no && nameHasOwner(bus_.get(), applicationId)) {
    const Answer answer = activateOwner(bus_.get(), applicationId);
    if (answer != Answer::gone) {
      remote_ = true;
      runningAnswered_ = answer == Answer::answered;
      return;
    }
  }

  // Every instance lets a relaunched shell take its place.
  int flags = G_APPLICATION_ALLOW_REPLACEMENT;
  if (takeover == Takeover::replaceRunning) flags |= G_APPLICATION_REPLACE;
  application_ = GObjectPtr<GApplication>::adopt(
      newActivatingApplication(applicationId.c_str(), static_cast<GApplicationFlags>(flags)));
  g_signal_connect(application_.get(), "activate", G_CALLBACK(onActivateSignal), this);
  g_signal_connect(application_.get(), "name-lost", G_CALLBACK(onNameLost), this);

  const std::optional<pid_t> outgoing =
      takeover == Takeover::replaceRunning ? ownerOf(bus_.get(), applicationId) : std::nullopt;
  if (!g_application_register(application_.get(), nullptr, nullptr)) {
    application_.reset();  // runs on its own, as without a bus
    return;
  }
  remote_ = g_application_get_is_remote(application_.get());
  if (!remote_ && outgoing && *outgoing != getpid()) replacedProcess_ = outgoing;
}

InstanceGate::~InstanceGate() {
  if (application_) g_signal_handlers_disconnect_by_data(application_.get(), this);
}

bool InstanceGate::activateRunningInstance() {
  if (!remote_) return true;
  if (!runningAnswered_) {
    // Another launch registered between this one's look and its registration.
    runningAnswered_ = activateOwner(bus_.get(), applicationId_) != Answer::silent;
  }
  return *runningAnswered_;
}

void InstanceGate::awaitReplacedInstance() {
  if (!replacedProcess_) return;
  waitForEnd(*replacedProcess_, kOutgoingInstanceWaitMilliseconds);
  replacedProcess_.reset();
}

void InstanceGate::onActivateSignal(GApplication* application, gpointer self) {
  auto* gate = static_cast<InstanceGate*>(self);
  if (gate->activate_) gate->activate_(activationTokenOf(application));
}

void InstanceGate::reclaim() {
  if (!application_ || remote_) return;
  const std::string applicationId = g_application_get_application_id(application_.get());
  // The old object holds the application's exported paths on the bus, and
  // may yet report the loss of the name it had then; both go with it.
  g_signal_handlers_disconnect_by_data(application_.get(), this);
  application_ = GObjectPtr<GApplication>::adopt(
      g_application_new(applicationId.c_str(), G_APPLICATION_ALLOW_REPLACEMENT));
  g_signal_connect(application_.get(), "activate", G_CALLBACK(onActivateSignal), this);
  g_signal_connect(application_.get(), "name-lost", G_CALLBACK(onNameLost), this);
  if (!g_application_register(application_.get(), nullptr, nullptr) ||
      g_application_get_is_remote(application_.get()))
    application_.reset();  // somebody else has the name: this one runs on its own
}

gboolean InstanceGate::onNameLost(GApplication*, gpointer self) {
  auto* gate = static_cast<InstanceGate*>(self);
  if (gate->replaced_) gate->replaced_();
  return TRUE;  // handled: the shell quits its own way, not GApplication's
}

}  // namespace lumivant::gtk
