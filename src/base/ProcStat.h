#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace lumivant {

// What the shell reads of a process's /proc/<pid>/stat line, "pid (comm)
// state ppid pgrp session ... starttime ..." (proc(5)).
struct ProcStat {
  char state = '?';  // R, S, D, Z, ...
  pid_t parent = 0;
  pid_t group = 0;                   // the process group
  unsigned long long startTime = 0;  // in clock ticks since boot: with the pid, names one process
};

// The fields of one stat line; nothing when the line is cut short or is not
// one. The command name is whatever the process called itself, spaces and
// parentheses included, so the fields are counted from the last ')'.
std::optional<ProcStat> parseProcStat(std::string_view line);

// The process's stat as /proc shows it now; nothing once it has gone.
std::optional<ProcStat> readProcStat(pid_t pid);

}  // namespace lumivant
