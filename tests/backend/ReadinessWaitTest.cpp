// The readiness wait and the exit reporting against the real sample backend,
// told through its own environment variables how to behave.

#include <chrono>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "backend/FreePort.h"
#include "backend/ReadinessProbe.h"

namespace lumivant {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using testing::ScopedEnv;
using testing::TempDir;

constexpr char kProbeLine[] = "\"GET /health/ready HTTP/1.1\"";

class ReadinessWaitTest : public ::testing::Test {
 protected:
  std::shared_ptr<Backend> startSample() {
    auto backend = std::make_shared<Backend>(LUMIVANT_SAMPLE_PYTHON, logs.str());
    backend->start();
    started_.push_back(backend);
    return backend;
  }
  bool waitUntilListening(const Backend& backend) {
    return testing::waitFor([&] {
      return testing::fileContains(
          logPath(), "sample backend listening on 127.0.0.1:" + std::to_string(backend.port()));
    });
  }
  size_t probesLogged() const {
    return testing::occurrences(testing::readFile(logPath()), kProbeLine);
  }
  std::string logPath() const { return logs / "backend.log"; }

  void TearDown() override {
    for (auto& backend : started_) backend->stop();
  }

  TempDir logs;

 private:
  std::vector<std::shared_ptr<Backend>> started_;
};

TEST_F(ReadinessWaitTest, ListeningBackendIsReadyOnTheFirstProbeWithoutPausing) {
  auto backend = startSample();
  ASSERT_TRUE(waitUntilListening(*backend));
  EXPECT_EQ(backend->waitUntilReady(30), std::nullopt);
  // One attempt answered it: the pause between attempts never came.
  EXPECT_EQ(probesLogged(), 1u);
}

TEST_F(ReadinessWaitTest, SlowBackendIsPolledUntilItIsReady) {
  ScopedEnv delay("SAMPLE_READY_DELAY", "1.0");
  auto backend = startSample();
  EXPECT_EQ(backend->waitUntilReady(60), std::nullopt);
  EXPECT_GE(probesLogged(), 2u);
  EXPECT_THAT(testing::readFile(logPath()), HasSubstr(std::string(kProbeLine) + " 503"));
  EXPECT_THAT(testing::readFile(logPath()), HasSubstr(std::string(kProbeLine) + " 200"));

  // The pages are served at the base URL.
  EXPECT_EQ(
      probeReadiness(backend->url().absoluteString(), 5, testing::secretCookie(*backend)).status,
      200);
  EXPECT_EQ(probeReadiness(backend->url().absoluteString() + "no-such-page.html", 5,
                           testing::secretCookie(*backend))
                .status,
            404);
}

struct NotReadyCase {
  const char* variable;
  const char* value;
  const char* lastAnswer;  // what the message says the last probe got
};

class NeverReadyTest : public ReadinessWaitTest,
                       public ::testing::WithParamInterface<NotReadyCase> {};

TEST_P(NeverReadyTest, IsPolledUntilTheDeadlineAndEndsWithTheLogTail) {
  ScopedEnv knob(GetParam().variable, GetParam().value);
  auto backend = startSample();
  ASSERT_TRUE(waitUntilListening(*backend));
  const auto began = std::chrono::steady_clock::now();
  std::optional<ShellError> failure = backend->waitUntilReady(1.5);
  EXPECT_GE(std::chrono::steady_clock::now() - began, 1500ms);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::neverBecameReady);
  EXPECT_GE(probesLogged(), 2u);
  EXPECT_THAT(failure->log(), HasSubstr("sample backend listening on"));
  EXPECT_THAT(failure->message(),
              ::testing::StartsWith("后端起来了，但一直没有就绪。\n最后一次检查 " +
                                    backend->url().absoluteString() + "health/ready：" +
                                    GetParam().lastAnswer + "\n\n"));
}

INSTANTIATE_TEST_SUITE_P(Answers, NeverReadyTest,
                         ::testing::Values(NotReadyCase{"SAMPLE_NEVER_READY", "1", "HTTP 503"},
                                           NotReadyCase{"SAMPLE_PROBE_STATUS", "404", "HTTP 404"},
                                           NotReadyCase{"SAMPLE_PROBE_STATUS", "204", "HTTP 204"},
                                           // The redirect is followed to a page answering 503.
                                           NotReadyCase{"SAMPLE_PROBE_STATUS", "302", "HTTP 503"}));

TEST_F(ReadinessWaitTest, ExitBeforeReadyIsBackendExitedWithItsStatus) {
  for (const int status : {0, 5}) {
    ScopedEnv knob("SAMPLE_EXIT_BEFORE_READY", std::to_string(status));
    auto backend = startSample();
    std::optional<ShellError> failure = backend->waitUntilReady(60);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), ShellError::Kind::backendExited);
    EXPECT_EQ(failure->code(), status);
    EXPECT_THAT(failure->log(), HasSubstr("exiting with status " + std::to_string(status) +
                                          " before becoming ready"));
  }
}

TEST_F(ReadinessWaitTest, TimeoutOfZeroOrLessRunsNoAttempt) {
  auto backend = startSample();
  ASSERT_TRUE(waitUntilListening(*backend));
  for (const double timeout : {0.0, -1.0}) {
    std::optional<ShellError> failure = backend->waitUntilReady(timeout);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), ShellError::Kind::neverBecameReady);
    EXPECT_EQ(failure->log(), backend->tailOfLog());
    EXPECT_FALSE(failure->lastProbe()) << "no probe was made, so none is reported";
  }
  EXPECT_EQ(probesLogged(), 0u);

  // Even a child that has already exited is not looked at.
  ScopedEnv knob("SAMPLE_EXIT_BEFORE_READY", "1");
  auto exited = startSample();
  ASSERT_TRUE(exited->waitUntilReady(60));
  EXPECT_EQ(exited->waitUntilReady(0)->kind(), ShellError::Kind::neverBecameReady);
}

TEST_F(ReadinessWaitTest, AProxyInTheEnvironmentIsNotAskedForTheLocalBackend) {
  // As on many institute networks; this proxy is a port where nothing listens.
  const std::string proxy =
      "http://127.0.0.1:" + std::to_string(pickFreeLoopbackPort().value()) + "/";
  ScopedEnv http("http_proxy", proxy), httpUpper("HTTP_PROXY", proxy), all("all_proxy", proxy),
      allUpper("ALL_PROXY", proxy), none("no_proxy", std::nullopt),
      noneUpper("NO_PROXY", std::nullopt);
  auto backend = startSample();
  EXPECT_EQ(backend->waitUntilReady(30), std::nullopt);
}

TEST_F(ReadinessWaitTest, AnAnswerFromAnotherProgramOnItsPortIsNotReadiness) {
  // The backend imports for long before it binds; meanwhile another program
  // takes the port, as between the port's choice and the backend's own bind.
  ScopedEnv importing("SAMPLE_BIND_DELAY", "60");
  auto backend = startSample();
  ASSERT_TRUE(
      testing::waitFor([&] { return testing::fileContains(logPath(), "importing for 60"); }));
  ScopedEnv serving("LUMIVANT_TEST_CHILD", "serve");
  auto squatter =
      std::make_shared<Backend>(LUMIVANT_TEST_CHILD, logs / "squatter", backend->port());
  ASSERT_EQ(squatter->port(), backend->port());
  squatter->start();
  // The same program is ready as a backend of its own: the check tells the two apart.
  ASSERT_EQ(squatter->waitUntilReady(30), std::nullopt);

  const std::optional<ShellError> failure = backend->waitUntilReady(30);
  squatter->stop();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), ShellError::Kind::portTaken);
  EXPECT_EQ(failure->code(), backend->port());
  EXPECT_THAT(failure->log(), HasSubstr("importing for 60"));
}

TEST_F(ReadinessWaitTest, ReadyBackendAskingForARestartReportsStatus3) {
  auto backend = startSample();
  ASSERT_EQ(backend->waitUntilReady(60), std::nullopt);
  std::promise<int32_t> reported;
  backend->setOnExit([&reported](ChildExit exit) { reported.set_value(exit.status); });
  EXPECT_EQ(probeReadiness(backend->url().absoluteString() + "control/exit?code=3", 5,
                           testing::secretCookie(*backend))
                .status,
            200);
  std::future<int32_t> code = reported.get_future();
  ASSERT_EQ(code.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(code.get(), Backend::restartExitCode);
  EXPECT_THAT(backend->tailOfLog(), HasSubstr("exiting with status 3 on request"));
}

}  // namespace
}  // namespace lumivant
