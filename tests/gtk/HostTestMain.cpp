// Runs the host's tests inside a GTK application with its own user directories,
// so that the web views' data stores and the window key file stay in a
// temporary directory.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  lumivant::testing::TempDir home;
  for (const char* variable :
       {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"}) {
    const auto path = home.path() / variable;
    std::filesystem::create_directories(path);
    setenv(variable, path.c_str(), 1);
  }
  setenv("HOME", home.str().c_str(), 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "gtk_host_tests needs a display (run it under xvfb-run)\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
