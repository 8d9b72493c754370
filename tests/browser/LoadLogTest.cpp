#include "browser/LoadLog.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "browser/ComponentFixture.h"
#include "browser/PageLifecycle.h"

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Puts a datagram socket in place of standard error for the life of the
// object. Each write(2) arrives as one message, so the test sees how many
// writes were made, not only what was written.
class CapturedStandardError {
 public:
  CapturedStandardError() {
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends_) != 0)
      throw std::runtime_error("socketpair");
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(ends_[0], STDERR_FILENO);
  }
  ~CapturedStandardError() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(ends_[0]);
    ::close(ends_[1]);
  }

  // Every write made so far, one string each.
  std::vector<std::string> writes() {
    std::vector<std::string> result;
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t count = ::recv(ends_[1], buffer, sizeof buffer, MSG_DONTWAIT);
      if (count < 0) return result;
      result.emplace_back(buffer, static_cast<size_t>(count));
    }
  }

 private:
  int ends_[2] = {-1, -1};
  int saved_ = -1;
};

struct LoadLogTest : testing::ComponentTest {
  std::shared_ptr<PageLifecycle> pages =
      std::make_shared<PageLifecycle>(*window, *webView, queue, pageTemplate);
  CapturedStandardError standardError;
};

TEST_F(LoadLogTest, AFinishedLoadWritesItsTitleInOneWriteOnceTheTitleIsKnown) {
  pages->didFinish();
  EXPECT_THAT(host.log.scripts, ElementsAre("document.title"));
  EXPECT_THAT(standardError.writes(), IsEmpty());
  host.log.pendingScripts[0]("Home");
  EXPECT_THAT(standardError.writes(), ElementsAre("shell: webview loaded: Home\n"));
}

TEST_F(LoadLogTest, AnEmptyTitleAndAFailedEvaluationEachHaveTheirLine) {
  pages->didFinish();
  pages->didFinish();
  pages->didFinish();
  // Lines come in the order the evaluations finish.
  host.log.pendingScripts[2]("实验记录");
  host.log.pendingScripts[0]("");
  host.log.pendingScripts[1](std::nullopt);
  EXPECT_THAT(standardError.writes(),
              ElementsAre("shell: webview loaded: 实验记录\n", "shell: webview loaded: \n",
                          "shell: webview loaded: (no title)\n"));
}

TEST_F(LoadLogTest, AnEvaluationThatEndsAfterThePagesStillWritesItsLine) {
  pages->didFinish();
  auto completion = std::move(host.log.pendingScripts[0]);
  pages.reset();
  completion("Last");
  EXPECT_THAT(standardError.writes(), ElementsAre("shell: webview loaded: Last\n"));
}

TEST(LoadLogLineTest, ALongTitleStaysOneLine) {
  const std::string title(10000, 'x');
  EXPECT_EQ(loadLogLine(title), "shell: webview loaded: " + title + "\n");
}

}  // namespace
}  // namespace lumivant
