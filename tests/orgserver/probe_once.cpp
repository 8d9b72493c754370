// Probes one address, as the shell probes an organisation server, and prints
// what it got. The https test runs it as a process of its own: the TLS module
// it loads keeps thread-local storage that the leak checker's scan at exit
// cannot read, so this process runs without that check.
#include <cstdio>

#include "backend/ReadinessProbe.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::fputs(lumivant::describeProbeAnswer(lumivant::probeReadiness(argv[1], 10)).c_str(), stdout);
  return 0;
}
