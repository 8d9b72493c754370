// Staged by the swap tests as a shell that passes a swap's trial and then
// fails at start, before any window, as a build with a fault in its launch
// would: it answers --print-version as a shell does and otherwise exits with
// status 1.
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--print-version") == 0) {
    fputs("Lumivant 99.0.0\n", stdout);
    return 0;
  }
  fputs("failing shell: gives up before its window\n", stderr);
  return 1;
}
