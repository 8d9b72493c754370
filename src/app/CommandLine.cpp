#include "app/CommandLine.h"

#include <algorithm>

#include "selfupdate/ShellTrial.h"
#include "selfupdate/StagedSwap.h"

namespace lumivant {

const std::vector<CommandLineOption>& commandLineOptions() {
  static const std::vector<CommandLineOption> options = {
      {.name = "--help",
       .shortName = "-h",
       .help = "显示本帮助，然后退出",
       .answer = CommandLineAnswer::help},
      {.name = "--version",
       .shortName = {},
       .help = "显示版本，然后退出",
       .answer = CommandLineAnswer::version},
      // Passed by a swap that tries a staged shell, and by the shell that
      // relaunches itself after one.
      {.name = kPrintVersionArgument,
       .shortName = {},
       .help = {},
       .answer = CommandLineAnswer::printVersion},
      {.name = kReplaceInstanceArgument,
       .shortName = {},
       .help = {},
       .flag = &CommandLineRequest::replacesRunningShell},
  };
  return options;
}

CommandLineRequest readCommandLine(const std::vector<std::string>& arguments) {
  CommandLineRequest request;
  const auto& options = commandLineOptions();
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto option = std::find_if(options.begin(), options.end(), [&](const auto& known) {
      return argument == known.name || (!known.shortName.empty() && argument == known.shortName);
    });
    if (option == options.end()) {
      if (request.answer == CommandLineAnswer::none) {
        request.answer = CommandLineAnswer::usageError;
        request.offending = argument;
      }
      continue;
    }
    if (option->flag) request.*(option->flag) = true;
    if (option->answer != CommandLineAnswer::none && request.answer == CommandLineAnswer::none) {
      request.answer = option->answer;
    }
  }
  return request;
}

std::string helpText() {
  std::string text =
      "用法：lumivant [选项]\n"
      "\n"
      "Lumivant 研究台：研究网页应用的桌面外壳。不带选项时打开窗口，启动研究应用。\n"
      "\n"
      "选项：\n";
  for (const CommandLineOption& option : commandLineOptions()) {
    if (option.help.empty()) continue;
    std::string names = option.shortName.empty() ? "    " : std::string(option.shortName) + ", ";
    names += option.name;
    text += "  " + names + std::string(names.size() < 16 ? 16 - names.size() : 1, ' ') +
            std::string(option.help) + "\n";
  }
  return text;
}

std::string usageErrorText(std::string_view offending) {
  return "lumivant：无法识别的参数“" + std::string(offending) +
         "”\n请运行“lumivant --help”查看可用的选项。\n";
}

}  // namespace lumivant
