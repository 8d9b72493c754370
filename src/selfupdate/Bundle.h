#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace lumivant {

// The application bundle's facts, taken once at start. After a self-update the
// running image's /proc/self/exe names the moved-aside file, so nothing reads
// it again later.
//
//   Lumivant/             directory
//   ├── Lumivant          executable
//   ├── Info.json         information dictionary
//   └── Resources/        resources, among them the application's icon
// The application's icon in the bundle's resources: the same scalable icon the
// desktop integration installs into the icon theme.
inline constexpr const char* kBundleIconName = "lumivant.svg";

struct Bundle {
  std::optional<std::string> executable;
  std::string directory;
  std::string resources;
  // The information dictionary, or null when Info.json is missing or not an object.
  nlohmann::json info;

  // The bundle around the given executable path.
  static Bundle forExecutable(const std::string& executablePath);
  // The bundle of the running process, found through /proc/self/exe.
  static Bundle main();

  // CFBundleShortVersionString, or the empty text when it is missing or not a string.
  std::string shortVersion() const;
  // LumivantBackendTakesSocket: the bundle's backend takes the listening
  // socket the shell holds for it, rather than binding its port itself. Only
  // the value true says so.
  bool backendTakesSocket() const;
};

}  // namespace lumivant
