#include "pages/MessagePages.h"

#include <string.h>

#include "base/Overloaded.h"

namespace lumivant {

namespace {

constexpr std::string_view kRestartLine = "按 F5 重新启动后端。";

// A first line, the log tail below it when there is one, and a last line
// saying what the user can do, each block set off by an empty line.
std::string withLogAndLastLine(std::string text, const std::string& log,
                               std::string_view lastLine) {
  text += "\n\n";
  if (!log.empty()) text += log + "\n\n";
  return text.append(lastLine);
}

// "SIGKILL" for 9, as the C library names it; nothing for a number it has no
// name for (a real-time signal, say).
std::optional<std::string> signalName(int signal) {
  const char* abbreviation = ::sigabbrev_np(signal);
  if (!abbreviation) return std::nullopt;
  return std::string("SIG") + abbreviation;
}

std::string howTheBackendEnded(const ChildExit& exit) {
  if (exit.reason == ChildExit::Reason::exit) {
    return "后端退出了（code " + std::to_string(exit.status) + "）。";
  }
  const auto name = signalName(exit.status);
  return "后端被信号 " + std::to_string(exit.status) + (name ? "（" + *name + "）" : " ") +
         "结束了。";
}

std::string reasonText(const LoadProblem& problem) {
  switch (problem.kind) {
    case LoadProblem::Kind::noAnswer:
      return "60 秒内没有回应";
    case LoadProblem::Kind::ledElsewhere:
      return "它转到了别处：" + problem.detail;
    case LoadProblem::Kind::error:
      break;
  }
  return problem.detail;
}

}  // namespace

std::string messageText(const MessagePage& page) {
  return std::visit(
      Overloaded{
          [](const BackendExitedBeforeReady& p) {
            return "后端启动后退出了（exit " + std::to_string(p.code) + "）。\n\n" + p.log;
          },
          [](const BackendNeverReady& p) {
            // The probe's own answer comes before the log, whose tail a busy
            // server can fill with its lines about the probes themselves.
            std::string text = "后端起来了，但一直没有就绪。\n";
            if (p.lastProbe)
              text += "最后一次检查 " + p.lastProbe->url + "：" + p.lastProbe->answer + "\n";
            return text + "\n" + p.log;
          },
          [](const NoFreePort&) { return std::string("找不到可用的本机端口。"); },
          [](const PortTakenByAnother& p) {
            return "端口 " + std::to_string(p.port) +
                   " 上回应的不是本机的后端，没有打开它。\n\n关掉占着这个端口的程序，再打开一次。\n"
                   "\n" +
                   p.log;
          },
          [](const BackendLaunchFailed& p) { return "起不来：" + p.description; },
          [](const BackendEnded& p) {
            return withLogAndLastLine(howTheBackendEnded(p.exit), p.log, kRestartLine);
          },
          [](const RestartsExhausted& p) {
            return withLogAndLastLine("后端一分钟内反复要求重新启动，已停止自动重新启动。", p.log,
                                      kRestartLine);
          },
          [](const ServerUnreachable& p) {
            // The server's address shows no password.
            return "连不上组织服务器 " + p.server.displayString() + "\n\n" +
                   p.transportError.value_or("它没有回应 /health/ready") + "\n\n" +
                   "它可能没在跑，或者这台机器不在那个网里。\n" + "想先用本机：删掉 " + p.dataRoot +
                   "/server.json 再打开。";
          },
          [](const FirstPageFailed& p) {
            return "首页没能打开 " + p.url + "\n\n" + reasonText(p.problem);
          },
          [](const LaterPageFailed& p) {
            return "页面没能打开 " + p.url + "\n\n" + reasonText(p.problem) +
                   "\n\n按 F5 再试一次。";
          },
          [](const RepeatedCrashes&) {
            return std::string("页面反复崩溃，已停止自动重新载入。\n\n请关掉窗口，再打开一次。");
          },
      },
      page);
}

}  // namespace lumivant
