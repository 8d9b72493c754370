#include "selfupdate/UnconfirmedShell.h"

#include <fcntl.h>

#include <filesystem>

#include "base/UniqueFd.h"

namespace lumivant {

std::string trialMarkPath(const std::string& executable) { return executable + ".unconfirmed"; }

UnconfirmedShell checkUnconfirmedShell(const std::string& executable,
                                       const SwapServices& services) {
  if (executable.empty()) return UnconfirmedShell::none;
  std::error_code error;
  const std::string mark = trialMarkPath(executable);
  if (!std::filesystem::is_regular_file(previousShellPath(executable), error)) {
    (void)services.files->remove(mark);
    return UnconfirmedShell::none;
  }
  if (std::filesystem::exists(mark, error)) {
    rollBackSwap(executable, "it did not show its window at its last launch", services);
    (void)services.files->remove(mark);
    // Whatever happened, the previous shell is either back or gone.
    return std::filesystem::exists(previousShellPath(executable), error)
               ? UnconfirmedShell::onTrial
               : UnconfirmedShell::rolledBack;
  }
  // A mark that cannot be made leaves this launch without a way back, as
  // before; it still goes on.
  const UniqueFd made(::open(mark.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (made) services.files->syncDirectory(std::filesystem::path(executable).parent_path().string());
  return UnconfirmedShell::onTrial;
}

}  // namespace lumivant
