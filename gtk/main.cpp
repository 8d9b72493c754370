#include <gtk/gtk.h>

#include <memory>

#include "ApplicationIdentity.h"
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
  // The Wayland app id is the program name and must be the desktop entry's
  // name (lumivant.desktop); the X11 WM_CLASS is ("lumivant", "Lumivant"),
  // whose class the entry's StartupWMClass names.
  g_set_prgname(lumivant::gtk::kApplicationId);
  gdk_set_program_class(lumivant::gtk::kWindowClass);
  gtk_init(&argc, &argv);

  static lumivant::gtk::GtkMainQueue mainQueue;
  static auto delegate =
      std::make_shared<lumivant::AppDelegate>(host, mainQueue, std::move(bundle));
  host.run(*delegate);
  return 0;
}
