#include <string>

#include "GtkHost.h"
#include "GtkMainQueue.h"
#include "app/AppDelegate.h"
#include "selfupdate/Bundle.h"

int main(int argc, char** argv) {
  // First of all, so that a termination request during start-up takes the
  // shell's own way out once the event loop runs.
  static lumivant::gtk::GtkHost host;
  // The bundle's paths are taken before anything could move the executable.
  const lumivant::Bundle bundle = lumivant::Bundle::main();
  host.setWebProcessModules(bundle.resources + "/web-process");
  static lumivant::gtk::GtkMainQueue mainQueue;
  static lumivant::AppDelegate delegate(host, mainQueue, bundle);
  return host.run(delegate, argc, argv);
}
