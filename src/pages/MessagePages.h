#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/ChildProcess.h"
#include "base/Url.h"

namespace lumivant {

// Every message page the shell shows in place of the app, one type each with
// what its text needs, and the one function that words them all. A new kind
// of page is one type here, one case in messageText() and one row in its test.

// What the last readiness probe of a backend that never became ready got: the
// address it asked and its answer ("HTTP 404", or the connection's error).
struct LastProbe {
  std::string url;
  std::string answer;
};

// While the local backend started.
struct BackendExitedBeforeReady {
  int32_t code;  // the exit status, or the number of the signal that ended it
  std::string log;
};
struct BackendNeverReady {
  std::string log;
  std::optional<LastProbe> lastProbe;  // nothing when the wait ran out before any probe
};
struct NoFreePort {};
// Another program, not the backend, answered on the backend's port.
struct PortTakenByAnother {
  uint16_t port;
  std::string log;
};
// The system refused something the start needs (the log, the launch): its description.
struct BackendLaunchFailed {
  std::string description;
};

// The ready local backend ended other than to be restarted. Reloading starts it again.
struct BackendEnded {
  ChildExit exit;
  std::string log;
};
// The backend asked to be restarted more often than the shell restarts it by
// itself. Reloading starts it again.
struct RestartsExhausted {
  std::string log;  // of the backend that asked last
};

// The organisation server did not answer its readiness probe.
struct ServerUnreachable {
  Url server;
  std::optional<std::string> transportError;  // nothing: it answered, but not 200
  std::string dataRoot;                       // where server.json lies
};

// Why a page of the app did not come.
struct LoadProblem {
  enum class Kind {
    noAnswer,      // nothing within the page's time-out
    ledElsewhere,  // it redirected away from the app; detail is where to
    error,         // detail is the engine's description
  };
  Kind kind;
  std::string detail;
};
// The first page of a backend or server that had just answered.
struct FirstPageFailed {
  std::string url;
  LoadProblem problem;
};
// A page of the app's own after its first page had shown. Reloading tries it again.
struct LaterPageFailed {
  std::string url;
  LoadProblem problem;
};

// The page's process kept ending, and the view stopped reloading it.
struct RepeatedCrashes {};

using MessagePage =
    std::variant<BackendExitedBeforeReady, BackendNeverReady, NoFreePort, PortTakenByAnother,
                 BackendLaunchFailed, BackendEnded, RestartsExhausted, ServerUnreachable,
                 FirstPageFailed, LaterPageFailed, RepeatedCrashes>;

// The page's plain text; the page escapes it for display.
std::string messageText(const MessagePage& page);

}  // namespace lumivant
