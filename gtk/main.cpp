#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "ApplicationIdentity.h"
#include "GtkHost.h"
#include "GtkMainQueue.h"
#include "InstanceDialogs.h"
#include "InstanceGate.h"
#include "SoftwareRendering.h"
#include "app/AppDelegate.h"
#include "app/DataRoot.h"
#include "app/ShellState.h"
#include "selfupdate/Bundle.h"
#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"
#include "selfupdate/StartConfirmation.h"
#include "selfupdate/UnconfirmedShell.h"

int main(int argc, char** argv) {
  // A swap tries a staged shell with this before it installs it: by now the
  // dynamic loader has loaded every library the shell links, and nothing
  // else happens.
  if (argc == 2 && std::strcmp(argv[1], lumivant::kPrintVersionArgument) == 0) {
    std::fputs(lumivant::versionLine(LUMIVANT_VERSION).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // Taken before anything could start a child: a shell relaunched by a swap
  // owes the shell that swapped word that it started.
  std::shared_ptr<lumivant::StartConfirmation> startConfirmation =
      lumivant::StartConfirmation::takeFromEnvironment();
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
    if (gate.activateRunningInstance()) return 0;
    gtk_init(&argc, &argv);
    lumivant::gtk::showUnresponsiveInstanceDialog();
    return 1;
  }
  // The only shell for this data root, and no swap's relaunch: a shell
  // swapped in whose start nobody heard of gets this one launch to show its
  // window; after a launch that did not, the previous shell runs instead.
  if (!startConfirmation && bundle.executable &&
      lumivant::checkUnconfirmedShell(*bundle.executable) ==
          lumivant::UnconfirmedShell::rolledBack) {
    ::execv(bundle.executable->c_str(), argv);
    std::perror("lumivant: starting the previous shell");
  }
  gtk_init(&argc, &argv);
  lumivant::gtk::drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
  // After the display is open: an X server whose last client goes resets
  // itself, and would turn this one away for a moment. A shell that owes word
  // of its start cannot wait here: the shell it replaces goes only once this
  // one's window shows.
  if (!startConfirmation) gate.awaitReplacedInstance();

  host.setWebProcessModules(bundle.resources + "/web-process");
  static lumivant::gtk::GtkMainQueue mainQueue;
  gate.onActivate([](const std::string& token) { host.activate(token); });
  static auto delegate =
      std::make_shared<lumivant::AppDelegate>(host, mainQueue, std::move(bundle));
  if (startConfirmation) delegate->owesStartConfirmation(std::move(startConfirmation));
  // A shell relaunched after a self-update takes this one's place at once;
  // this one goes when that one says it started, or stays if it never does.
  // One replaced in any other way leaves a second from now.
  gate.onReplaced([] {
    if (!delegate->awaitsNewShell()) mainQueue.postAfter(1.0, [] { host.terminate(); });
  });
  delegate->onSwapRolledBack([] { gate.reclaim(); });
  host.run(*delegate);
  return 0;
}
