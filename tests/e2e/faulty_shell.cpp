// Linked into a build of the shell itself that the swap tests stage as a new
// shell: the shell, with the one fault that LUMIVANT_TEST_FAULT names, so that
// a staged shell fails the way real builds have failed.
//
//   hang-in-gtk-init    hangs inside gtk_init (or gtk_init_check), before it can show or
//                       answer anything
//   crash-after-window  crashes (SIGSEGV) 10 s after it presents its window
//   lose-confirmation   never learns that a shell relaunched it: the variable
//                       that names the way to tell that shell is gone, though
//                       the descriptor stays open, as after a wrapper that
//                       cleans the environment
//
// Without the variable it is the shell. The functions below stand in for
// GTK's own: the executable's definitions come before the library's, and
// call the library's once the fault is had.
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "selfupdate/StartConfirmation.h"

namespace {

bool faultIs(const char* name) {
  const char* chosen = std::getenv("LUMIVANT_TEST_FAULT");
  return chosen && std::strcmp(chosen, name) == 0;
}

template <typename Function>
Function library(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

gboolean crash(gpointer) {
  // The crash is the test's, not one to look into: no core file.
  const rlimit none{0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
  ::signal(SIGSEGV, SIG_DFL);
  ::raise(SIGSEGV);
  return G_SOURCE_REMOVE;
}

__attribute__((constructor)) void loseTheConfirmation() {
  if (faultIs("lose-confirmation")) ::unsetenv(lumivant::kStartConfirmationVariable);
}

}  // namespace

extern "C" void gtk_init(int* argc, char*** argv) {
  if (faultIs("hang-in-gtk-init")) {
    for (;;) ::pause();
  }
  library<void (*)(int*, char***)>("gtk_init")(argc, argv);
}

extern "C" gboolean gtk_init_check(int* argc, char*** argv) {
  if (faultIs("hang-in-gtk-init")) {
    for (;;) ::pause();
  }
  return library<gboolean (*)(int*, char***)>("gtk_init_check")(argc, argv);
}

extern "C" void gtk_window_present(GtkWindow* window) {
  library<void (*)(GtkWindow*)>("gtk_window_present")(window);
  static bool armed = false;
  if (faultIs("crash-after-window") && !armed) {
    armed = true;
    g_timeout_add_seconds(10, crash, nullptr);
  }
}
