// A stand-in for a staged shell: a real ELF executable that notes that it ran,
// with how many arguments and the first of them, in the file named by
// RELAUNCH_MARKER. The note is written beside the file and renamed into place,
// so that a reader never sees half of it.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* marker = std::getenv("RELAUNCH_MARKER");
  if (!marker) return 2;
  const std::string temporary = std::string(marker) + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return 1;
  std::fprintf(file, "%d:%s\n", argc - 1, argc > 1 ? argv[1] : "");
  if (std::fclose(file) != 0) return 1;
  return std::rename(temporary.c_str(), marker) == 0 ? 0 : 1;
}
