#include "app/DataRoot.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "base/PathJoin.h"

namespace lumivant {

namespace {

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

// "~" and "~/rest" name the current user's home, "~name/rest" that user's home.
std::string expandTilde(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  const auto slash = path.find('/');
  const std::string user =
      path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  const std::string rest = slash == std::string::npos ? "" : path.substr(slash);
  if (user.empty()) return homeDirectory() + rest;
  if (const passwd* entry = getpwnam(user.c_str()); entry && entry->pw_dir)
    return entry->pw_dir + rest;
  return path;
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string dataRoot() {
  const char* value = std::getenv("ORLATH_FRAMEWORK_HOME");
  if (!value) return joinPath(homeDirectory(), ".orlath-framework");
  std::string path = expandTilde(value);
  if (path.empty() || path[0] != '/') {
    std::error_code error;
    const std::string cwd = std::filesystem::current_path(error).string();
    path = path.empty() ? cwd : joinPath(cwd, path);
  }
  return withoutTrailingSlashes(path);
}

}  // namespace lumivant
