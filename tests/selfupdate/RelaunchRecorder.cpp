// A stand-in for a staged shell: a real ELF executable that answers a trial
// with a version line and otherwise notes that it ran, with how many arguments
// and the first of them, in the file named by RELAUNCH_MARKER. The note is
// written beside the file and renamed into place, so that a reader never sees
// half of it. Then it says that it started, unless RELAUNCH_FAILS is set, in
// which case it exits with status 1 as a shell that fails at start would.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "selfupdate/ShellTrial.h"
#include "selfupdate/StartConfirmation.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], lumivant::kPrintVersionArgument) == 0) {
    std::fputs(lumivant::versionLine("9.9.9").c_str(), stdout);
    return 0;
  }
  const auto confirmation = lumivant::StartConfirmation::takeFromEnvironment();
  const char* marker = std::getenv("RELAUNCH_MARKER");
  if (!marker) return 2;
  const std::string temporary = std::string(marker) + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return 1;
  std::fprintf(file, "%d:%s\n", argc - 1, argc > 1 ? argv[1] : "");
  if (std::fclose(file) != 0) return 1;
  if (std::rename(temporary.c_str(), marker) != 0) return 1;
  if (std::getenv("RELAUNCH_FAILS")) return 1;
  if (confirmation) confirmation->confirm();
  return 0;
}
