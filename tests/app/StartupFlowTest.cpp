#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "app/AppDelegate.h"
#include "app/MessagePage.h"
#include "backend/Backend.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"
#include "support/ScriptedChild.h"
#include "support/TempDir.h"

namespace lumivant {
namespace {

using testing::ManualMainQueue;
using testing::RecordingHost;
using testing::ScopedEnv;
using testing::ScriptedChild;
using testing::TempDir;

// A delegate whose second swap check can be made to succeed.
class FlowDelegate : public AppDelegate {
 public:
  using AppDelegate::AppDelegate;
  bool replaceMyselfIfANewerShellIsStaged() override {
    ++swapChecks;
    return swapSucceeds;
  }
  void declareMyself() override {}
  void cleanupOldShellFiles() override {}
  int swapChecks = 0;
  bool swapSucceeds = false;
};

// Hands out backends whose interpreter is a scripted child, started but not
// waited for, and counts the starts. Each start is answered by the next outcome
// the test queued, or by a running scripted backend.
class Starter {
 public:
  explicit Starter(const TempDir& dir) : dir_(dir), child_(dir) {}

  AppDelegate::LocalStarter function() {
    return [this](const std::string& python, const std::string& logDirectory, const std::string&) {
      std::lock_guard lock(mutex_);
      ++starts;
      pythons.push_back(python);
      logDirectories.push_back(logDirectory);
      if (!outcomes.empty()) {
        LocalStartOutcome next = outcomes.front();
        outcomes.erase(outcomes.begin());
        return next;
      }
      auto backend = std::make_shared<Backend>(child_.path(), dir_ / "logs");
      backend->start();
      return LocalStartOutcome(backend);
    };
  }

  const ScriptedChild& child() const { return child_; }

  std::mutex mutex_;
  int starts = 0;
  std::vector<std::string> pythons, logDirectories;
  std::vector<LocalStartOutcome> outcomes;

 private:
  const TempDir& dir_;
  ScriptedChild child_;
};

struct StartupFlowTest : ::testing::Test {
  TempDir dir;
  ScopedEnv root{"ORLATH_FRAMEWORK_HOME", dir / "data"};
  RecordingHost host;
  ManualMainQueue queue;
  Starter starter{dir};
  std::shared_ptr<FlowDelegate> delegate;

  void SetUp() override {
    Bundle bundle = Bundle::forExecutable(dir / "bundle/Lumivant");
    delegate = std::make_shared<FlowDelegate>(host, queue, bundle, starter.function());
    delegate->webView = host.createWebView(*delegate);
    host.log.calls.clear();
  }

  void TearDown() override {
    if (delegate && delegate->backend) delegate->backend->stop();
  }

  std::string lastMessage() const {
    return host.log.htmlLoads.empty() ? "" : host.log.htmlLoads.back();
  }
  bool showedMessage(const std::string& text) const {
    return !host.log.htmlLoads.empty() && host.log.htmlLoads.back() == messagePageHtml(text);
  }
  int startsSoFar() {
    std::lock_guard lock(starter.mutex_);
    return starter.starts;
  }
};

TEST_F(StartupFlowTest, ReadyBackendIsRecordedCheckedForASwapAndLoaded) {
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return !host.log.loads.empty(); }));
  ASSERT_NE(delegate->backend, nullptr);
  EXPECT_EQ(delegate->swapChecks, 1);
  EXPECT_EQ(host.log.loads[0].url, delegate->backend->url());
  EXPECT_EQ(host.log.loads[0].timeoutSeconds, 60.0);
  EXPECT_EQ(starter.pythons[0], dir / "bundle/Resources/python/bin/python3");
  EXPECT_EQ(starter.logDirectories[0], dir / "data/logs");
  EXPECT_FALSE(delegate->origin.has_value());
}

TEST_F(StartupFlowTest, StartReturnsBeforeTheBackendIsReady) {
  std::mutex gate;
  std::unique_lock hold(gate);
  auto blocking = [&](const std::string&, const std::string&,
                      const std::string&) -> LocalStartOutcome {
    std::lock_guard wait(gate);
    return ShellError::noPort();
  };
  auto blocked = std::make_shared<FlowDelegate>(host, queue, Bundle{}, blocking);
  blocked->webView = host.createWebView(*blocked);
  blocked->startBackend();  // would deadlock here if the start ran on this thread
  EXPECT_EQ(queue.pendingCount(), 0u);
  hold.unlock();
  EXPECT_TRUE(queue.runUntil([&] { return !host.log.htmlLoads.empty(); }));
}

struct MessageRow {
  const char* name;
  LocalStartOutcome outcome;
  std::string message;
};

class StartFailureMessageTest : public StartupFlowTest,
                                public ::testing::WithParamInterface<MessageRow> {};

TEST_P(StartFailureMessageTest, ShowsTheRowsMessageAndRecordsNoBackend) {
  starter.outcomes.push_back(GetParam().outcome);
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return !host.log.htmlLoads.empty(); }));
  EXPECT_EQ(lastMessage(), messagePageHtml(GetParam().message));
  EXPECT_EQ(delegate->backend, nullptr);
  EXPECT_TRUE(host.log.loads.empty());
  EXPECT_EQ(delegate->swapChecks, 0);
}

INSTANTIATE_TEST_SUITE_P(
    MessageTable, StartFailureMessageTest,
    ::testing::Values(MessageRow{"NoPort", ShellError::noPort(), "找不到可用的本机端口。"},
                      MessageRow{"PlatformFailure",
                                 StartFailure{"无法启动后端 /x/python3：No such file or directory"},
                                 "起不来：无法启动后端 /x/python3：No such file or directory"},
                      MessageRow{"ExitedBeforeReady",
                                 ShellError::backendExited(3, "line 1\nline 2"),
                                 "后端启动后退出了（exit 3）。\n\nline 1\nline 2"},
                      MessageRow{"NeverReady", ShellError::neverBecameReady("tail"),
                                 "后端起来了，但一直没有就绪。\n\ntail"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupFlowTest, ReadyBackendExitingWithAnotherCodeShowsTheCodeAndTheLogTail) {
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return delegate->backend != nullptr; }));
  std::shared_ptr<Backend> first = delegate->backend;
  starter.child().exitWith(1);
  ASSERT_TRUE(queue.runUntil([&] { return !host.log.htmlLoads.empty(); }));
  EXPECT_EQ(delegate->backend, nullptr);
  const std::string tail = first->tailOfLog();
  EXPECT_THAT(tail, ::testing::HasSubstr("exiting 1"));
  EXPECT_EQ(lastMessage(), messagePageHtml("后端退出了（code 1）。\n\n" + tail));
  EXPECT_EQ(startsSoFar(), 1);
}

TEST_F(StartupFlowTest, ExitWithTheRestartCodeStartsAFreshBackendWithoutAMessage) {
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return host.log.loads.size() == 1; }));
  const std::shared_ptr<Backend> first = delegate->backend;
  starter.child().exitWith(Backend::restartExitCode);
  ASSERT_TRUE(queue.runUntil([&] { return host.log.loads.size() == 2; }));
  EXPECT_TRUE(host.log.htmlLoads.empty());
  EXPECT_EQ(startsSoFar(), 2);
  ASSERT_NE(delegate->backend, nullptr);
  EXPECT_NE(delegate->backend, first);
  EXPECT_EQ(host.log.loads[1].url, delegate->backend->url());
  EXPECT_EQ(delegate->swapChecks, 2);
}

TEST_F(StartupFlowTest, RestartReadsTheServerFileAfresh) {
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return delegate->backend != nullptr; }));
  testing::writeFile(dir.path() / "data/server.json", R"({"url": "http://127.0.0.1:1/"})");
  starter.child().exitWith(Backend::restartExitCode);
  // The organisation server takes over: no second local start.
  ASSERT_TRUE(queue.runUntil([&] { return delegate->backend == nullptr; }));
  ASSERT_TRUE(queue.runUntil([&] { return !host.log.htmlLoads.empty(); }));
  EXPECT_THAT(host.log.htmlLoads.back(),
              ::testing::HasSubstr("连不上组织服务器 http://127.0.0.1:1/"));
  EXPECT_EQ(startsSoFar(), 1);
}

TEST_F(StartupFlowTest, SwapAfterReadinessLoadsNothingAndLeavesTheBackendToTermination) {
  delegate->swapSucceeds = true;
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return delegate->backend != nullptr; }));
  std::shared_ptr<Backend> recorded = delegate->backend;
  EXPECT_TRUE(host.log.loads.empty());
  // No exit handler: the child's exit reaches nobody.
  starter.child().exitWith(7);
  EXPECT_FALSE(queue.runNext(std::chrono::milliseconds(500)));
  EXPECT_EQ(delegate->backend, recorded);
  EXPECT_TRUE(host.log.htmlLoads.empty());
  delegate->applicationWillTerminate();
}

TEST_F(StartupFlowTest, TerminationStopsTheReadyBackendAndReportsNoExit) {
  delegate->startBackend();
  ASSERT_TRUE(queue.runUntil([&] { return delegate->backend != nullptr; }));
  delegate->applicationWillTerminate();
  EXPECT_FALSE(queue.runNext(std::chrono::milliseconds(500)));
  EXPECT_TRUE(host.log.htmlLoads.empty());
}

TEST_F(StartupFlowTest, DelegateGoneBeforeTheCompletionDoesNothing) {
  starter.outcomes.push_back(ShellError::noPort());
  delegate->startBackend();
  ASSERT_TRUE(queue.waitForPosted(1));
  delegate.reset();
  queue.runPending();
  EXPECT_TRUE(host.log.calls.empty());
}

TEST_F(StartupFlowTest, DelegateGoneBeforeReadinessLoadsNothing) {
  delegate->startBackend();
  ASSERT_TRUE(queue.waitForPosted(1));
  std::weak_ptr<FlowDelegate> weak = delegate;
  delegate.reset();
  queue.runPending();
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(host.log.loads.empty());
  // The child's exit still arrives on the queue, and does nothing there.
  const size_t posted = queue.postedCount();
  starter.child().exitWith(0);
  ASSERT_TRUE(queue.waitForPosted(posted + 1));
  queue.runPending();
  EXPECT_TRUE(host.log.calls.empty());
}

}  // namespace
}  // namespace lumivant
