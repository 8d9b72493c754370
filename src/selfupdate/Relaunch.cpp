#include "selfupdate/Relaunch.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include "base/OwnChildren.h"

extern char** environ;

namespace lumivant {

namespace {

// posix_spawn's attribute and file-action objects, destroyed when they go.
struct SpawnSettings {
  posix_spawnattr_t attributes{};
  posix_spawn_file_actions_t fileActions{};
  SpawnSettings() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&fileActions);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&fileActions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
};

}  // namespace

std::optional<pid_t> startDetached(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const DetachedExtras& extras, int* error) {
  SpawnSettings settings;
  // The new process must not inherit what this one blocked or ignored.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&settings.attributes, &none);
  posix_spawnattr_setsigdefault(&settings.attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#if defined(__linux__)
  // Its own session, so that it outlives this process and its terminal group;
  // and only the standard descriptors, whatever the toolkit left open.
  flags |= POSIX_SPAWN_SETSID;
  int lastKept = STDERR_FILENO;
  if (extras.passedDescriptor >= 0) {
    // Its copy at 3 is inherited; glibc clears close-on-exec even when the
    // descriptor already had that number.
    posix_spawn_file_actions_adddup2(&settings.fileActions, extras.passedDescriptor,
                                     STDERR_FILENO + 1);
    lastKept = STDERR_FILENO + 1;
  }
  posix_spawn_file_actions_addclosefrom_np(&settings.fileActions, lastKept + 1);
#endif
  posix_spawnattr_setflags(&settings.attributes, flags);

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  std::vector<char*> envp;
  for (char** entry = environ; entry && *entry; ++entry) envp.push_back(*entry);
  for (const std::string& entry : extras.environment)
    envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  pid_t pid = 0;
  OwnChildStart start;
  const int failed = posix_spawn(&pid, program.c_str(), &settings.fileActions, &settings.attributes,
                                 argv.data(), envp.data());
  if (failed != 0) {
    if (error) *error = failed;
    return {};
  }
  start.started(pid);
  return pid;
}

}  // namespace lumivant
