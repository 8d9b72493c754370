#include <gtk/gtk.h>

#include <cstring>
#include <memory>

#include "ApplicationIdentity.h"
#include "GtkHost.h"
#include "GtkMainQueue.h"
#include "InstanceGate.h"
#include "app/AppDelegate.h"
#include "selfupdate/Bundle.h"
#include "app/DataRoot.h"
#include "app/ShellState.h"
#include "selfupdate/StagedSwap.h"

int main(int argc, char** argv) {
  // First of all, so that a termination request during start-up takes the
  // shell's own way out once the event loop runs.
  static lumivant::gtk::GtkHost host;
  // The bundle's paths are taken before anything could move the executable.
  lumivant::Bundle bundle = lumivant::Bundle::main();
  // The Wayland app id is the program name and must be the desktop entry's
  // name (lumivant.desktop); the X11 WM_CLASS is ("lumivant", "Lumivant"),
  // whose class the entry's StartupWMClass names.
  g_set_prgname(lumivant::gtk::kApplicationId);
  gdk_set_program_class(lumivant::gtk::kWindowClass);

  // Before anything is written, built or started: a shell already running for
  // this data root is brought to the front instead.
  const bool relaunched = argc > 1 && std::strcmp(argv[1], lumivant::kReplaceInstanceArgument) == 0;
  static lumivant::gtk::InstanceGate gate(
      lumivant::applicationIdForDataRoot(lumivant::dataRoot()),
      relaunched ? lumivant::gtk::InstanceGate::Takeover::replaceRunning
                 : lumivant::gtk::InstanceGate::Takeover::no);
  if (gate.anotherInstanceRuns()) {
    gate.activateRunningInstance();
    return 0;
  }
  gtk_init(&argc, &argv);
  // After the display is open: an X server whose last client goes resets
  // itself, and would turn this one away for a moment.
  gate.awaitReplacedInstance();

  static lumivant::gtk::GtkMainQueue mainQueue;
  gate.onActivate([] { host.activate(); });
  // A shell that took this one's place (the relaunch after a self-update)
  // finds this one already on its way out, a second from now; one replaced
  // in any other way leaves on the same schedule.
  gate.onReplaced([] { mainQueue.postAfter(1.0, [] { host.terminate(); }); });
  static auto delegate =
      std::make_shared<lumivant::AppDelegate>(host, mainQueue, std::move(bundle));
  host.run(*delegate);
  return 0;
}
