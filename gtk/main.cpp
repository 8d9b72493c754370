#include <gtk/gtk.h>

#include <memory>

#include "GtkHost.h"
#include "GtkMainQueue.h"
#include "app/AppDelegate.h"
#include "app/Bundle.h"

int main(int argc, char** argv) {
  // First of all, so that a termination request during start-up takes the
  // shell's own way out once the event loop runs.
  static lumivant::gtk::GtkHost host;
  // The bundle's paths are taken before anything could move the executable.
  lumivant::Bundle bundle = lumivant::Bundle::main();
  g_set_prgname("Lumivant");
  gtk_init(&argc, &argv);

  static lumivant::gtk::GtkMainQueue mainQueue;
  static auto delegate =
      std::make_shared<lumivant::AppDelegate>(host, mainQueue, std::move(bundle));
  host.run(*delegate);
  return 0;
}
