#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// The argument with which a shell only says which build it is: it loads every
// library it links, opens no display and no window, prints its version line
// and exits 0.
inline constexpr const char* kPrintVersionArgument = "--print-version";

// What a shell prints for kPrintVersionArgument: "Lumivant " + version + "\n".
std::string versionLine(std::string_view version);

// Whether output is one version line as versionLine writes it: a version of
// printable characters without blanks, at most 64 bytes long.
bool isVersionLine(std::string_view output);

// How long a trial may take before it counts as hung.
inline constexpr std::chrono::seconds kShellTrialLimit{10};

// Runs program with kPrintVersionArgument, its symbols all bound at load, no
// display in its environment and its output captured. Nothing when it exits 0
// having printed a version line; otherwise what happened, naming no path:
// "it cannot be executed: No such file or directory", "it was killed by signal
// 11 (Segmentation fault)", "it exited with status 127 and printed: ...",
// "it did not finish within 10 s". A program still running at the limit is
// killed.
std::optional<std::string> shellTrialProblem(const std::string& program,
                                             std::chrono::milliseconds limit = kShellTrialLimit);

// "10 s", or "300 ms" for a duration of no whole seconds.
std::string describeDuration(std::chrono::milliseconds duration);

}  // namespace lumivant
