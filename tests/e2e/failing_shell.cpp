// Staged by the swap tests as a shell that passes a swap's trial and then
// fails at start, before any window, as a build with a fault in its launch
// would: it answers --print-version as a shell does; relaunched, it first
// takes the running shell's place on the session bus, as the shell does, and
// then exits with status 1.
#include <gio/gio.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/DataRoot.h"
#include "app/ShellState.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], lumivant::kPrintVersionArgument) == 0) {
    std::fputs(lumivant::versionLine("99.0.0").c_str(), stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], lumivant::kReplaceInstanceArgument) == 0) {
    const std::string id = lumivant::applicationIdForDataRoot(lumivant::dataRoot());
    GApplication* application = g_application_new(
        id.c_str(),
        static_cast<GApplicationFlags>(G_APPLICATION_ALLOW_REPLACEMENT | G_APPLICATION_REPLACE));
    g_application_register(application, nullptr, nullptr);
  }
  std::fputs("failing shell: gives up before its window\n", stderr);
  return 1;
}
