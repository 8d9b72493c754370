#include "backend/ShellError.h"

namespace lumivant {

ShellError ShellError::backendExited(int32_t code, std::string log) {
  return ShellError(Kind::backendExited, code, std::move(log));
}

ShellError ShellError::neverBecameReady(std::string log) {
  return ShellError(Kind::neverBecameReady, 0, std::move(log));
}

ShellError ShellError::noPort() { return ShellError(Kind::noPort, 0, {}); }

std::string ShellError::message() const {
  switch (kind_) {
    case Kind::backendExited:
      return "后端启动后退出了（exit " + std::to_string(code_) + "）。\n\n" + log_;
    case Kind::neverBecameReady:
      return "后端起来了，但一直没有就绪。\n\n" + log_;
    case Kind::noPort:
      return "找不到可用的本机端口。";
  }
  return {};
}

}  // namespace lumivant
