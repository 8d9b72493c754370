#include "backend/ShellError.h"

#include <climits>

#include <gtest/gtest.h>

namespace lumivant {
namespace {

struct MessageCase {
  const char* name;
  ShellError error;
  std::string message;
};

class ShellErrorMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ShellErrorMessageTest, IsTheExactText) {
  EXPECT_EQ(GetParam().error.message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellErrorMessageTest,
    ::testing::Values(
        MessageCase{"ExitedWithLog", ShellError::backendExited(1, "a\nb"),
                    "后端启动后退出了（exit 1）。\n\na\nb"},
        MessageCase{"ExitedBySignal", ShellError::backendExited(-1, ""),
                    "后端启动后退出了（exit -1）。\n\n"},
        MessageCase{"LargestCode", ShellError::backendExited(INT32_MAX, "x"),
                    "后端启动后退出了（exit 2147483647）。\n\nx"},
        MessageCase{"SmallestCode", ShellError::backendExited(INT32_MIN, "x"),
                    "后端启动后退出了（exit -2147483648）。\n\nx"},
        MessageCase{"LogIsCopiedUnchanged", ShellError::neverBecameReady("<b>&amp;\n"),
                    "后端起来了，但一直没有就绪。\n\n<b>&amp;\n"},
        MessageCase{"NeverReadyEmptyLog", ShellError::neverBecameReady(""),
                    "后端起来了，但一直没有就绪。\n\n"},
        MessageCase{
            "NeverReadySaysWhatTheLastProbeGot",
            ShellError::neverBecameReady("log\n",
                                         LastProbe{"http://127.0.0.1:8/health/ready", "HTTP 404"}),
            "后端起来了，但一直没有就绪。\n"
            "最后一次检查 http://127.0.0.1:8/health/ready：HTTP 404\n\nlog\n"},
        MessageCase{"NeverReadyAfterAConnectionError",
                    ShellError::neverBecameReady("", LastProbe{"http://127.0.0.1:8/health/ready",
                                                               "Connection refused"}),
                    "后端起来了，但一直没有就绪。\n"
                    "最后一次检查 http://127.0.0.1:8/health/ready：Connection refused\n\n"},
        MessageCase{"NoPort", ShellError::noPort(), "找不到可用的本机端口。"},
        MessageCase{"PortTaken", ShellError::portTaken(8765, "bind failed"),
                    "端口 8765 上回应的不是本机的后端，没有打开它。\n\n"
                    "关掉占着这个端口的程序，再打开一次。\n\nbind failed"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivant
