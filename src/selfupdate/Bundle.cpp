#include "selfupdate/Bundle.h"

#include <filesystem>

#include "base/JsonDocument.h"

namespace lumivant {

namespace fs = std::filesystem;

Bundle Bundle::forExecutable(const std::string& executablePath) {
  Bundle bundle;
  bundle.executable = executablePath;
  bundle.directory = fs::path(executablePath).parent_path().string();
  bundle.resources = (fs::path(bundle.directory) / "Resources").string();
  if (auto text = readJsonFileText((fs::path(bundle.directory) / "Info.json").string())) {
    nlohmann::json info = parseJsonDocument(*text);
    if (info.is_object()) bundle.info = std::move(info);
  }
  return bundle;
}

Bundle Bundle::main() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    Bundle bundle;
    bundle.directory = fs::current_path(error).string();
    bundle.resources = (fs::path(bundle.directory) / "Resources").string();
    return bundle;
  }
  // Once the file this process started from was replaced or removed, the
  // link names it with this mark after the path it had; the executable's
  // place is still that path.
  constexpr std::string_view kGoneMark = " (deleted)";
  std::string path = self.string();
  if (path.ends_with(kGoneMark) && !fs::exists(fs::symlink_status(path, error)))
    path.resize(path.size() - kGoneMark.size());
  return forExecutable(path);
}

std::string Bundle::shortVersion() const {
  if (!info.is_object()) return {};
  auto it = info.find("CFBundleShortVersionString");
  if (it == info.end() || !it->is_string()) return {};
  return it->get<std::string>();
}

bool Bundle::backendTakesSocket() const {
  if (!info.is_object()) return false;
  auto it = info.find("LumivantBackendTakesSocket");
  return it != info.end() && it->is_boolean() && it->get<bool>();
}

}  // namespace lumivant
