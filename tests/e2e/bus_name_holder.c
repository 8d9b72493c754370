// A program that is not the shell holding the shell's bus name: it owns the
// name given as its argument and implements nothing on it, so every method
// called on it is answered as unknown. Says "held" on standard output once
// the name is its own; ends when it loses it or is killed.
#include <gio/gio.h>
#include <stdio.h>

static void acquired(GDBusConnection* bus, const gchar* name, gpointer loop) {
  (void)bus;
  (void)name;
  (void)loop;
  puts("held");
  fflush(stdout);
}

static void lost(GDBusConnection* bus, const gchar* name, gpointer loop) {
  (void)bus;
  (void)name;
  g_main_loop_quit(loop);
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  GMainLoop* loop = g_main_loop_new(NULL, FALSE);
  const guint owner = g_bus_own_name(G_BUS_TYPE_SESSION, argv[1], G_BUS_NAME_OWNER_FLAGS_NONE, NULL,
                                     acquired, lost, loop, NULL);
  g_main_loop_run(loop);
  g_bus_unown_name(owner);
  g_main_loop_unref(loop);
  return 1;
}
