// A stand-in for a launch of the shell on probation: copied into a bundle as
// its executable, it takes the steps a shell's launch takes, in the order
// given on its command line, against the ledger named first:
//
//   judge   judges the probation as a launch does first, and prints the verdict
//   begin   records this launch, as one that is sure to run
//   window  its window is up
//   page    the app's first page has loaded
//   end     it ends by quitting
//   withdraw  it ends before its window for a reason not the shell's
//   await   waits until the file "<ledger>.go" exists
//   ready   prints "ready", so that whoever waits knows the steps before are done
//   hang    waits for ever, as a shell stuck before its window
//   crash   kills itself, as a shell that crashes
//
// Self-update's log lines go to standard output.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "selfupdate/Bundle.h"
#include "selfupdate/ShellProbation.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  lumivant::SwapServices services;
  services.log = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  lumivant::ShellProbation probation(lumivant::Bundle::main().executable.value_or(""), argv[1],
                                     services);
  for (int i = 2; i < argc; ++i) {
    const std::string step = argv[i];
    if (step == "judge") {
      const bool instead =
          probation.judgeLaunch() == lumivant::ShellProbation::Verdict::runExecutableInstead;
      std::printf("%s\n", instead ? "run the executable instead" : "go on");
    } else if (step == "begin") {
      probation.beginLaunch();
    } else if (step == "window") {
      probation.windowShown();
    } else if (step == "page") {
      probation.firstPageShown();
    } else if (step == "end") {
      probation.launchEnded();
    } else if (step == "withdraw") {
      probation.launchWithdrawn();
    } else if (step == "await") {
      while (::access((std::string(argv[1]) + ".go").c_str(), F_OK) != 0) ::usleep(10'000);
    } else if (step == "ready") {
      std::printf("ready\n");
    } else if (step == "hang") {
      std::fflush(stdout);
      for (;;) ::pause();
    } else if (step == "crash") {
      std::fflush(stdout);
      ::kill(::getpid(), SIGKILL);
    } else {
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
