#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/TempDir.h"

namespace lumivant::testing {

// A stand-in for the backend's interpreter: a shell script that stays alive
// until the test writes an exit status into its control fifo, then exits with
// it. Each start of the script uses the same fifo, one line per exit.
class ScriptedChild {
 public:
  explicit ScriptedChild(const TempDir& dir, const std::string& name = "fake-python")
      : script_(dir / name), fifo_(dir / (name + ".exit")) {
    mkfifo(fifo_.c_str(), 0600);
    std::ofstream out(script_);
    out << "#!/bin/sh\n"
        << "echo \"started $*\"\n"
        << "read code < '" << fifo_ << "'\n"
        << "echo \"exiting $code\"\n"
        << "exit \"$code\"\n";
    out.close();
    chmod(script_.c_str(), 0755);
  }

  const std::string& path() const { return script_; }

  // Makes the running script exit with the status. Blocks until it reads it.
  void exitWith(int status) const {
    std::ofstream out(fifo_);
    out << status << "\n";
  }

 private:
  std::string script_;
  std::string fifo_;
};

}  // namespace lumivant::testing
