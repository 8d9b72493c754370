#include "InstanceGate.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>

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
// How long a later launch waits for an instance that is quitting to go: it
// stops its backend first, which may take the backend's full grace period.
constexpr int kQuittingInstanceWaitMilliseconds = 8000;

// The shell's own question to the instance that holds the bus name, answered
// off the main thread so that an instance busy quitting still answers it:
// "running" or "quitting". A program that is not the shell does not know it.
constexpr const char* kStateInterface = "io.lumivant.Instance";
constexpr const char* kStateMethod = "State";
constexpr const char* kRunning = "running";
constexpr const char* kQuitting = "quitting";

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

enum class Answer { answered, silent, quitting, gone, foreign };

// The errors of a bus peer that has no such object, interface or method.
bool isUnknownToOwner(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
}

// The error an instance that is quitting answers an activation with.
constexpr const char* kQuittingError = "io.lumivant.Instance.Error.Quitting";

// The process that owns name on the bus, if any.
std::optional<pid_t> ownerOf(GDBusConnection* bus, const std::string& name);

// What the owner of the name says it is doing.
enum class OwnerState { running, quitting, foreign, silent, gone };

OwnerState askOwner(GDBusConnection* bus, const std::string& applicationId) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, applicationId.c_str(), objectPathOf(applicationId).c_str(), kStateInterface,
      kStateMethod, nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
      kActivationAnswerMilliseconds, nullptr, &error);
  if (reply) {
    const gchar* state = nullptr;
    g_variant_get(reply, "(&s)", &state);
    return g_strcmp0(state, kQuitting) == 0 ? OwnerState::quitting : OwnerState::running;
  }
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) return OwnerState::silent;
  if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY)) {
    return OwnerState::gone;  // it went while it was asked
  }
  // A shell older than the state question (the bundle was updated under a
  // running one) does not know it, and is asked to come to the front all the
  // same: whether it knows that tells whether it is a shell.
  if (isUnknownToOwner(error)) return OwnerState::running;
  return OwnerState::foreign;
}

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
  g_autofree gchar* remoteError = g_dbus_error_get_remote_error(error);
  if (g_strcmp0(remoteError, kQuittingError) == 0) return Answer::quitting;
  if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY)) {
    return Answer::gone;  // it went while it was asked
  }
  // Every shell can be activated: a program that cannot is none.
  if (isUnknownToOwner(error)) return Answer::foreign;
  return Answer::answered;  // it is there and answers, if only with an error
}

void waitForEnd(pid_t pid, int timeoutMilliseconds);

// Waits until the name has no owner, for up to the given time; false when it
// still has one then.
bool awaitNameFree(GDBusConnection* bus, const std::string& name, int timeoutMilliseconds) {
  if (const std::optional<pid_t> owner = ownerOf(bus, name))
    waitForEnd(*owner, timeoutMilliseconds);
  return !nameHasOwner(bus, name);
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
    if (!mayTakeNameFromOwner()) {
      remote_ = true;
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
  if (!remote_) answerStateQuestions();
}

bool InstanceGate::mayTakeNameFromOwner() {
  OwnerState owner = askOwner(bus_.get(), applicationId_);
  std::optional<Answer> activation;
  if (owner == OwnerState::running) {
    activation = activateOwner(bus_.get(), applicationId_);
    if (activation == Answer::foreign) owner = OwnerState::foreign;
  }
  switch (owner) {
    case OwnerState::gone:
      return true;
    case OwnerState::running: {
      const Answer answer = *activation;
      if (answer == Answer::gone) return true;
      if (answer != Answer::quitting) {
        runningAnswered_ = answer == Answer::answered;
        return false;
      }
      [[fallthrough]];  // it began to quit since it was asked
    }
    case OwnerState::quitting:
      // This launch takes its place once it has gone; one that never goes is
      // as good as hung.
      if (awaitNameFree(bus_.get(), applicationId_, kQuittingInstanceWaitMilliseconds)) return true;
      runningAnswered_ = false;
      return false;
    case OwnerState::foreign: {
      const std::optional<pid_t> holder = ownerOf(bus_.get(), applicationId_);
      std::fprintf(stderr,
                   "lumivant: the bus name %s is held by a program that is not Lumivant "
                   "(process %d)\n",
                   applicationId_.c_str(), holder ? static_cast<int>(*holder) : -1);
      runningAnswered_ = false;
      return false;
    }
    case OwnerState::silent:
      runningAnswered_ = false;
      return false;
  }
  return false;  // not reached: the switch names every state
}

InstanceGate::~InstanceGate() {
  if (application_) g_signal_handlers_disconnect_by_data(application_.get(), this);
  if (stateFilter_) g_dbus_connection_remove_filter(bus_.get(), stateFilter_);
}

void InstanceGate::markQuitting() { quitting_->store(true); }

namespace {

struct StateAnswerer {
  std::string objectPath;
  std::shared_ptr<std::atomic<bool>> quitting;
};

// Runs on GDBus's worker thread for every message, before the main loop sees
// it: the state question is answered here, whatever the main thread is doing.
GDBusMessage* answerStateQuestion(GDBusConnection* bus, GDBusMessage* message, gboolean incoming,
                                  gpointer data) {
  const auto* answerer = static_cast<StateAnswerer*>(data);
  if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
      g_strcmp0(g_dbus_message_get_interface(message), kStateInterface) != 0 ||
      g_strcmp0(g_dbus_message_get_member(message), kStateMethod) != 0 ||
      answerer->objectPath !=
          std::string(g_dbus_message_get_path(message) ? g_dbus_message_get_path(message) : "")) {
    return message;
  }
  g_autoptr(GDBusMessage) reply = g_dbus_message_new_method_reply(message);
  g_dbus_message_set_body(reply,
                          g_variant_new("(s)", answerer->quitting->load() ? kQuitting : kRunning));
  g_dbus_connection_send_message(bus, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
  g_object_unref(message);
  return nullptr;  // answered: nobody else is to see it
}

}  // namespace

void InstanceGate::answerStateQuestions() {
  if (stateFilter_) return;
  stateFilter_ = g_dbus_connection_add_filter(
      bus_.get(), answerStateQuestion, new StateAnswerer{objectPathOf(applicationId_), quitting_},
      [](gpointer data) { delete static_cast<StateAnswerer*>(data); });
}

bool InstanceGate::activateRunningInstance() {
  if (!remote_) return true;
  if (!runningAnswered_) {
    // Another launch registered between this one's look and its registration.
    const Answer answer = activateOwner(bus_.get(), applicationId_);
    runningAnswered_ = answer == Answer::answered || answer == Answer::gone;
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
  // A shell that went before it took the name leaves this one registered as
  // it was. Registering afresh then would have the old object release the
  // name as it goes, and the new one take that loss for a replacement.
  if (ownerOf(bus_.get(), applicationId) == getpid()) return;
  // The old object holds the application's exported paths on the bus, and
  // may yet report the loss of the name it had then; both go with it.
  g_signal_handlers_disconnect_by_data(application_.get(), this);
  // The name is taken back from a shell that has yet to let go of it as it
  // ends, or from a launch that found it free meanwhile.
  application_ = GObjectPtr<GApplication>::adopt(newActivatingApplication(
      applicationId.c_str(),
      static_cast<GApplicationFlags>(G_APPLICATION_ALLOW_REPLACEMENT | G_APPLICATION_REPLACE)));
  g_signal_connect(application_.get(), "activate", G_CALLBACK(onActivateSignal), this);
  g_signal_connect(application_.get(), "name-lost", G_CALLBACK(onNameLost), this);
  if (!g_application_register(application_.get(), nullptr, nullptr) ||
      g_application_get_is_remote(application_.get())) {
    application_.reset();  // somebody else has the name: this one runs on its own
    return;
  }
  answerStateQuestions();
}

gboolean InstanceGate::onNameLost(GApplication*, gpointer self) {
  auto* gate = static_cast<InstanceGate*>(self);
  if (gate->replaced_) gate->replaced_();
  return TRUE;  // handled: the shell quits its own way, not GApplication's
}

}  // namespace lumivant::gtk
