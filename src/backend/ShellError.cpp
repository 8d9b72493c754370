#include "backend/ShellError.h"

namespace lumivant {

ShellError ShellError::backendExited(int32_t code, std::string log) {
  return ShellError(Kind::backendExited, code, std::move(log));
}

ShellError ShellError::neverBecameReady(std::string log, std::optional<LastProbe> lastProbe) {
  return ShellError(Kind::neverBecameReady, 0, std::move(log), std::move(lastProbe));
}

ShellError ShellError::noPort() { return ShellError(Kind::noPort, 0, {}); }

ShellError ShellError::portTaken(uint16_t port, std::string log) {
  return ShellError(Kind::portTaken, port, std::move(log));
}

std::string ShellError::message() const {
  switch (kind_) {
    case Kind::backendExited:
      return "后端启动后退出了（exit " + std::to_string(code_) + "）。\n\n" + log_;
    case Kind::neverBecameReady: {
      // The probe's own answer comes before the log, whose tail a busy server
      // can fill with its lines about the probes themselves.
      std::string text = "后端起来了，但一直没有就绪。\n";
      if (lastProbe_) text += "最后一次检查 " + lastProbe_->url + "：" + lastProbe_->answer + "\n";
      return text + "\n" + log_;
    }
    case Kind::noPort:
      return "找不到可用的本机端口。";
    case Kind::portTaken:
      return "端口 " + std::to_string(code_) +
             " 上回应的不是本机的后端，没有打开它。\n\n关掉占着这个端口的程序，再打开一次。\n\n" +
             log_;
  }
  return {};
}

}  // namespace lumivant
