#include "selfupdate/Relaunch.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include "selfupdate/StagedSwap.h"

extern char** environ;

namespace lumivant {

namespace {

// posix_spawn's attribute and file-action objects, destroyed when they go.
struct SpawnSettings {
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t fileActions;
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
                                   const std::vector<std::string>& arguments) {
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
  posix_spawn_file_actions_addclosefrom_np(&settings.fileActions, STDERR_FILENO + 1);
#endif
  posix_spawnattr_setflags(&settings.attributes, flags);

  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &settings.fileActions, &settings.attributes, argv.data(),
                  environ) != 0)
    return {};
  return pid;
}

void relaunchBundle(const std::string& bundleDirectory) {
#if defined(__APPLE__)
  // Launch Services starts a new instance of the bundle even while this one runs.
  (void)startDetached("/usr/bin/open", {"/usr/bin/open", "-n", bundleDirectory});
#else
  const std::string executable = bundleDirectory + "/Lumivant";
  (void)startDetached(executable, {executable, kReplaceInstanceArgument});
#endif
}

}  // namespace lumivant
