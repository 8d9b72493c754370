#include "selfupdate/ExecutableReplacement.h"

#include <cerrno>
#include <filesystem>

namespace lumivant {

namespace {

constexpr mode_t executableMode = 0755;

std::string describe(const std::string& step, const std::error_code& error) {
  return step + ": " + error.message() + " (errno " + std::to_string(error.value()) + ")";
}

// Errors with which a file system says it cannot give a file a second name at
// all, as opposed to refusing this particular one.
bool linkIsImpossible(const std::error_code& error) {
  switch (error.value()) {
    case EPERM:
    case ENOTSUP:
    case EMLINK:
    case ENOSYS:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string temporaryCopyStem(const std::string& executable) {
  return "." + std::filesystem::path(executable).filename().string() + ".new-";
}

std::optional<InstallFailure> installStagedShell(int staged, const std::string& stagedPath,
                                                 const std::string& executable,
                                                 const std::string& previous,
                                                 SwapFileOperations& files,
                                                 const ShellTrialRunner& trial) {
  const auto fileSystem = [](std::string description) {
    return InstallFailure{InstallFailure::Kind::fileSystem, std::move(description)};
  };
  const std::filesystem::path executablePath(executable);
  const std::string directory = executablePath.parent_path().string();

  UniqueFd fd;
  std::string temporary;
  if (auto error =
          files.createTemporaryFile(directory, temporaryCopyStem(executable), fd, temporary))
    return InstallFailure{InstallFailure::Kind::nothingMade,
                          describe("creating a temporary file in " + directory, error)};

  // The mode is set before the flush so that the flush makes it durable too.
  std::optional<std::string> failure;
  if (auto error = files.copyContents(staged, fd.get())) {
    failure = describe("copying " + stagedPath + " to " + temporary, error);
  } else if (auto error = files.setMode(fd.get(), executableMode)) {
    failure = describe("setting mode 0755 on " + temporary, error);
  } else if (auto error = files.flushAndClose(fd)) {
    failure = describe("flushing " + temporary, error);
  }
  if (failure) {
    fd.reset();
    (void)files.remove(temporary);
    return fileSystem(*failure);
  }
  if (auto problem = trial(temporary)) {
    (void)files.remove(temporary);
    return InstallFailure{InstallFailure::Kind::didNotRun, *problem};
  }

  // The previous shell gets its second name while the executable's path still
  // holds it. Where links are impossible it is copied, never moved: a move
  // would leave the path empty until the rename below, and a process killed
  // in between would leave no application at all.
  if (auto linkError = files.hardLink(executable, previous)) {
    if (!linkIsImpossible(linkError)) {
      (void)files.remove(temporary);
      return fileSystem(describe("linking " + executable + " to " + previous, linkError));
    }
    if (auto copyError = files.copyAside(executable, previous)) {
      (void)files.remove(temporary);
      return fileSystem(describe("copying " + executable + " to " + previous, copyError));
    }
  }

  if (auto error = files.replace(temporary, executable)) {
    (void)files.remove(temporary);
    return fileSystem(describe("renaming " + temporary + " to " + executable, error));
  }
  files.syncDirectory(directory);
  return {};
}

}  // namespace lumivant
