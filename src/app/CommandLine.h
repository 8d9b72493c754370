#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumivant {

// What the process's arguments ask for before a window may open.
enum class CommandLineAnswer {
  none,          // nothing to answer: the shell starts
  version,       // the version line on standard output, for a person
  printVersion,  // the same line, for a swap trying a staged shell
  help,          // the options on standard output
  usageError,    // an option the shell does not know: said on standard error
};

// The arguments read: what to answer at once, and how the shell is to start
// when there is nothing to answer.
struct CommandLineRequest {
  CommandLineAnswer answer = CommandLineAnswer::none;
  // The shell takes the place of the one running for the data root.
  bool replacesRunningShell = false;
  // The argument that made a usage error, as given.
  std::string offending;
};

// One option the shell knows. Options that change how the shell starts set
// one flag of the request; options that are answered at once name the answer.
struct CommandLineOption {
  std::string_view name;
  std::string_view shortName;  // empty when there is none
  // The line --help shows; empty for options that other programs pass.
  std::string_view help;
  CommandLineAnswer answer = CommandLineAnswer::none;
  bool CommandLineRequest::*flag = nullptr;
};

// Every option, in the order --help lists them.
const std::vector<CommandLineOption>& commandLineOptions();

// Reads the arguments (the program's name first). Nothing here touches the
// display, the data root or the environment. The first argument the table
// does not know, positional ones included, is a usage error; an answer given
// by an earlier option stands.
CommandLineRequest readCommandLine(const std::vector<std::string>& arguments);

// What --help prints, and what a usage error prints on standard error.
std::string helpText();
std::string usageErrorText(std::string_view offending);

// The exit status of a usage error, as command-line tools use it.
inline constexpr int kUsageErrorStatus = 2;

}  // namespace lumivant
