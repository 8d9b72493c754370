// The text of every message page the shell shows, one row a kind of page.

#include "pages/MessagePages.h"

#include <signal.h>

#include <climits>

#include <gtest/gtest.h>

namespace lumivant {
namespace {

struct TextRow {
  const char* name;
  MessagePage page;
  std::string text;
};

class MessageTextTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(MessageTextTest, IsTheExactText) {
  EXPECT_EQ(messageText(GetParam().page), GetParam().text);
}

const ChildExit kExitedWith1{ChildExit::Reason::exit, 1};
const ChildExit kKilled{ChildExit::Reason::uncaughtSignal, SIGKILL};
const ChildExit kRealTimeSignal{ChildExit::Reason::uncaughtSignal, SIGRTMIN + 2};
const std::string kServerFileHint =
    "\n\n它可能没在跑，或者这台机器不在那个网里。\n想先用本机：删掉 /home/u/.orlath-framework/"
    "server.json 再打开。";

INSTANTIATE_TEST_SUITE_P(
    Kinds, MessageTextTest,
    ::testing::Values(
        // While the local backend starts.
        TextRow{"ExitedBeforeReady", BackendExitedBeforeReady{1, "a\nb"},
                "后端启动后退出了（exit 1）。\n\na\nb"},
        TextRow{"ExitedBeforeReadyBySignalGivesItsNumber", BackendExitedBeforeReady{9, ""},
                "后端启动后退出了（exit 9）。\n\n"},
        TextRow{"LargestCode", BackendExitedBeforeReady{INT32_MAX, "x"},
                "后端启动后退出了（exit 2147483647）。\n\nx"},
        TextRow{"SmallestCode", BackendExitedBeforeReady{INT32_MIN, "x"},
                "后端启动后退出了（exit -2147483648）。\n\nx"},
        TextRow{"LogIsCopiedUnchanged", BackendNeverReady{"<b>&amp;\n", {}},
                "后端起来了，但一直没有就绪。\n\n<b>&amp;\n"},
        TextRow{"NeverReadyEmptyLog", BackendNeverReady{"", {}},
                "后端起来了，但一直没有就绪。\n\n"},
        TextRow{
            "NeverReadySaysWhatTheLastProbeGot",
            BackendNeverReady{"log\n", LastProbe{"http://127.0.0.1:8/health/ready", "HTTP 404"}},
            "后端起来了，但一直没有就绪。\n"
            "最后一次检查 http://127.0.0.1:8/health/ready：HTTP 404\n\nlog\n"},
        TextRow{"NoPort", NoFreePort{}, "找不到可用的本机端口。"},
        TextRow{"PortTaken", PortTakenByAnother{8765, "bind failed"},
                "端口 8765 上回应的不是本机的后端，没有打开它。\n\n"
                "关掉占着这个端口的程序，再打开一次。\n\nbind failed"},
        TextRow{"LaunchFailed", BackendLaunchFailed{"无法启动后端 /x/python3：No such file"},
                "起不来：无法启动后端 /x/python3：No such file"},
        // The ready backend ended: how, the log, and how to bring it back.
        TextRow{"EndedWithAStatus", BackendEnded{kExitedWith1, "a\nb"},
                "后端退出了（code 1）。\n\na\nb\n\n按 F5 重新启动后端。"},
        TextRow{"EndedByASignalNamesIt", BackendEnded{kKilled, "a"},
                "后端被信号 9（SIGKILL）结束了。\n\na\n\n按 F5 重新启动后端。"},
        TextRow{"EndedByASignalWithoutAName", BackendEnded{kRealTimeSignal, ""},
                "后端被信号 " + std::to_string(SIGRTMIN + 2) + " 结束了。\n\n按 F5 重新启动后端。"},
        TextRow{"EndedWithoutALog", BackendEnded{kExitedWith1, ""},
                "后端退出了（code 1）。\n\n按 F5 重新启动后端。"},
        TextRow{"RestartsExhausted", RestartsExhausted{"asked again"},
                "后端一分钟内反复要求重新启动，已停止自动重新启动。\n\nasked again\n\n"
                "按 F5 重新启动后端。"},
        // The organisation server; its address shows no password.
        TextRow{"ServerAnsweredOtherThan200",
                ServerUnreachable{*Url::parse("http://h:1/app"), {}, "/home/u/.orlath-framework"},
                "连不上组织服务器 http://h:1/app\n\n它没有回应 /health/ready" + kServerFileHint},
        TextRow{"ServerUnreachableGivesTheTransportError",
                ServerUnreachable{*Url::parse("https://me:secret@h/"), "Connection refused",
                                  "/home/u/.orlath-framework"},
                "连不上组织服务器 https://me:***@h/\n\nConnection refused" + kServerFileHint},
        // Pages of the app that did not come.
        TextRow{"FirstPageNoAnswer",
                FirstPageFailed{"http://127.0.0.1:8/", {LoadProblem::Kind::noAnswer, {}}},
                "首页没能打开 http://127.0.0.1:8/\n\n60 秒内没有回应"},
        TextRow{"FirstPageLedElsewhere",
                FirstPageFailed{"http://127.0.0.1:8/",
                                {LoadProblem::Kind::ledElsewhere, "http://127.0.0.1:9/login"}},
                "首页没能打开 http://127.0.0.1:8/\n\n它转到了别处：http://127.0.0.1:9/login"},
        TextRow{"LaterPageError",
                LaterPageFailed{"http://127.0.0.1:8/a",
                                {LoadProblem::Kind::error, "Connection refused"}},
                "页面没能打开 http://127.0.0.1:8/a\n\nConnection refused\n\n按 F5 再试一次。"},
        TextRow{"RepeatedCrashes", RepeatedCrashes{},
                "页面反复崩溃，已停止自动重新载入。\n\n请关掉窗口，再打开一次。"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivant
