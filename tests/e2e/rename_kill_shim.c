// Preloaded into the shell by the swap tests: a file system without hard
// links, on which the process is killed at one chosen rename.
//
// link() and linkat() fail with EPERM, as on file systems that have no hard
// links. Renames that touch the directory named by SHIM_RENAME_DIRECTORY are
// counted; at the one numbered SHIM_KILL_AT_RENAME the process kills itself
// with SIGKILL, before the rename when SHIM_KILL_WHEN is "before" and after it
// otherwise. The variable LD_PRELOAD is removed at load, so that a relaunched
// shell runs without the shim.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char* directory;
static int killAt;
static int killAfter;
static int renames;

__attribute__((constructor)) static void setUp(void) {
  directory = getenv("SHIM_RENAME_DIRECTORY");
  const char* at = getenv("SHIM_KILL_AT_RENAME");
  killAt = at ? atoi(at) : 0;
  const char* when = getenv("SHIM_KILL_WHEN");
  killAfter = !(when && strcmp(when, "before") == 0);
  unsetenv("LD_PRELOAD");
}

static int inDirectory(const char* path) {
  if (!directory || !path) return 0;
  const size_t length = strlen(directory);
  return strncmp(path, directory, length) == 0 && path[length] == '/';
}

// Returns the number of this rename when it is counted, else 0.
static int counted(const char* from, const char* to) {
  if (!inDirectory(from) && !inDirectory(to)) return 0;
  return __atomic_add_fetch(&renames, 1, __ATOMIC_SEQ_CST);
}

static void killIf(int number, int after) {
  if (number != 0 && number == killAt && after == killAfter) kill(getpid(), SIGKILL);
}

int link(const char* from, const char* to) {
  (void)from;
  (void)to;
  errno = EPERM;
  return -1;
}

int linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags) {
  (void)fromDirectory;
  (void)from;
  (void)toDirectory;
  (void)to;
  (void)flags;
  errno = EPERM;
  return -1;
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  const int number = counted(from, to);
  killIf(number, 0);
  const int result = real(from, to);
  killIf(number, 1);
  return result;
}

int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
  static int (*real)(int, const char*, int, const char*);
  if (!real) real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
  const int number = counted(from, to);
  killIf(number, 0);
  const int result = real(fromDirectory, from, toDirectory, to);
  killIf(number, 1);
  return result;
}

int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to,
              unsigned int flags) {
  static int (*real)(int, const char*, int, const char*, unsigned int);
  if (!real)
    real = (int (*)(int, const char*, int, const char*, unsigned int))dlsym(RTLD_NEXT, "renameat2");
  const int number = counted(from, to);
  killIf(number, 0);
  const int result = real(fromDirectory, from, toDirectory, to, flags);
  killIf(number, 1);
  return result;
}
