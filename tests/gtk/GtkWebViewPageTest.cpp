// Script dialogs and the file chooser: the page waits until the delegate's
// completion answers, and gets exactly that answer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "TestServer.h"
#include "WebViewFixture.h"
#include "support/TempDir.h"

namespace lumivant::testing {
namespace {

class PageTest : public WebViewFixture {
 protected:
  void SetUp() override {
    WebViewFixture::SetUp();
    loadHtml("<title>start</title><input type=file id=one><input type=file id=many multiple>",
             server.url("/"));
  }
  TestServer server;
};

TEST_F(PageTest, AlertWaitsForItsCompletion) {
  evaluate("setTimeout(() => { alert('注意 & <b>'); document.title = 'after alert'; })");
  ASSERT_TRUE(spinUntil([&] { return delegate.alerts.size() == 1; }));
  EXPECT_EQ(delegate.alerts[0], "注意 & <b>");
  spinFor(0.3);
  EXPECT_EQ(title(), "start") << "the page goes on only once answered";
  delegate.alertDone();
  EXPECT_TRUE(titleBecomes("after alert"));
}

TEST_F(PageTest, ConfirmGivesThePageTheAnswer) {
  const std::string ask = "setTimeout(() => { document.title = 'answer ' + confirm('sure?'); })";
  evaluate(ask);
  ASSERT_TRUE(spinUntil([&] { return delegate.confirms.size() == 1; }));
  EXPECT_EQ(delegate.confirms[0], "sure?");
  delegate.confirmDone(true);
  EXPECT_TRUE(titleBecomes("answer true"));

  evaluate(ask);
  ASSERT_TRUE(spinUntil([&] { return delegate.confirms.size() == 2; }));
  delegate.confirmDone(false);
  EXPECT_TRUE(titleBecomes("answer false"));
}

TEST_F(PageTest, ADroppedConfirmCompletionAnswersFalse) {
  evaluate("setTimeout(() => { document.title = 'answer ' + confirm('sure?'); })");
  ASSERT_TRUE(spinUntil([&] { return delegate.confirms.size() == 1; }));
  delegate.confirmDone = nullptr;
  EXPECT_TRUE(titleBecomes("answer false"));
}

TEST_F(PageTest, FileChooserReturnsTheChosenFilesOrNone) {
  TempDir files;
  for (const char* name : {"a.txt", "b.txt"}) std::ofstream(files / name) << name;

  evaluate("document.getElementById('many').click()");
  ASSERT_TRUE(spinUntil([&] { return delegate.openPanels.size() == 1; }));
  EXPECT_TRUE(delegate.openPanels[0].allowsMultipleSelection);
  EXPECT_FALSE(delegate.openPanels[0].allowsDirectories);
  delegate.openPanelDone(std::vector<std::string>{files / "a.txt", files / "b.txt"});
  ASSERT_TRUE(spinUntil([&] {
    return evaluate("[...document.getElementById('many').files].map(f => f.name).join(',')") ==
           "a.txt,b.txt";
  }));

  evaluate(
      "document.getElementById('one').addEventListener('cancel', () => document.title = "
      "'cancelled'); document.getElementById('one').click()");
  ASSERT_TRUE(spinUntil([&] { return delegate.openPanels.size() == 2; }));
  EXPECT_FALSE(delegate.openPanels[1].allowsMultipleSelection);
  delegate.openPanelDone(std::nullopt);
  spinFor(0.3);
  EXPECT_EQ(evaluate("String(document.getElementById('one').files.length)"), "0");
}

}  // namespace
}  // namespace lumivant::testing

namespace lumivant::testing {
namespace {

// A server that takes connections and never answers them.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("SilentServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

TEST_F(WebViewFixture, ARequestWithNoAnswerIsStoppedAtItsTimeOut) {
  SilentServer silent;
  const int finished = delegate.finishedNavigations;
  view->load(Request{silent.url(), 1.0});
  ASSERT_TRUE(spinUntil([&] { return webkit_web_view_is_loading(view->view()); }, 5));
  EXPECT_TRUE(spinUntil([&] { return !webkit_web_view_is_loading(view->view()); }, 10))
      << "the load was still waiting for an answer after its time-out";
  EXPECT_EQ(delegate.finishedNavigations, finished) << "a stopped load is not a finished page";
  // Told apart from a load that another one replaced, so that a first page
  // that timed out can say so.
  ASSERT_TRUE(spinUntil([&] { return !delegate.failures.empty(); }, 5));
  EXPECT_EQ(delegate.failures.back().kind, NavigationFailure::Kind::timedOut);
}

TEST_F(WebViewFixture, ARefusedPortFailsWithTheEnginesDescription) {
  std::string url;
  {
    const SilentServer closed;  // gone again at once: nothing accepts on its port now
    url = closed.url();
  }
  view->load(Request{url, 30.0});
  ASSERT_TRUE(spinUntil([&] { return !delegate.failures.empty(); }, 10));
  EXPECT_EQ(delegate.failures.back().kind, NavigationFailure::Kind::error);
  EXPECT_FALSE(delegate.failures.back().description.empty());
}

}  // namespace
}  // namespace lumivant::testing
