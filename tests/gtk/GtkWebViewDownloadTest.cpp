// Downloads: a response the view cannot show, and a link with the download
// attribute, each ask the delegate where to save; its answer is carried out.

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestServer.h"
#include "WebViewFixture.h"
#include "support/TempDir.h"

namespace lumivant::testing {
namespace {

using ::testing::IsEmpty;

std::string contentsOf(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class DownloadTest : public WebViewFixture {
 protected:
  void SetUp() override {
    WebViewFixture::SetUp();
    server.route("/files/data.zip", {"application/zip", "PK-not-really-a-zip", {}});
    server.route("/files/report.csv", {"text/csv", "a,b\n1,2\n", {}});
    loadHtml(
        "<a id=report download href='/files/report.csv'>report</a>"
        "<a id=zip href='/files/data.zip'>zip</a>",
        server.url("/"));
  }

  void click(const std::string& id) { evaluate("document.getElementById('" + id + "').click()"); }
  bool destinationAsked(size_t count = 1) {
    return spinUntil([&] { return delegate.suggestedFilenames.size() == count; });
  }

  TestServer server;
  TempDir saved;
};

TEST_F(DownloadTest, UndisplayableResponseIsSavedWhereChosen) {
  delegate.responsePolicy = NavigationResponsePolicy::download;
  click("zip");
  ASSERT_TRUE(destinationAsked());
  EXPECT_FALSE(delegate.responses.back().canShowMIMEType);
  EXPECT_EQ(delegate.suggestedFilenames[0], "data.zip");
  const std::string path = saved / "chosen.zip";
  delegate.destination(path);
  ASSERT_TRUE(spinUntil([&] { return contentsOf(path) == "PK-not-really-a-zip"; }));
  ASSERT_TRUE(spinUntil([&] {
    return !delegate.downloadEvents.empty() && delegate.downloadEvents.back().what == "end";
  }));
  EXPECT_THAT(delegate.downloadFailures, IsEmpty());
  // Its progress, from the file's creation at the chosen path to its end,
  // under one id and with the size the response announced.
  const auto& events = delegate.downloadEvents;
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().what, "begin");
  EXPECT_EQ(events.front().path, path);
  EXPECT_EQ(events[events.size() - 2].what, "data");
  EXPECT_EQ(events[events.size() - 2].received, 19u);
  EXPECT_EQ(events[events.size() - 2].expected, 19u);
  for (const auto& event : events) EXPECT_EQ(event.id, events.front().id);
}

// The destination must be a fresh name: a file standing there fails the
// download. (WebKitGTK 2.50 then also deletes that file, as it deletes the
// destination of every failed download, so the name must be one that no file
// of the user's can have.)
TEST_F(DownloadTest, AFileStandingAtTheDestinationFailsTheDownload) {
  delegate.responsePolicy = NavigationResponsePolicy::download;
  const std::string path = saved / "data.zip";
  std::ofstream(path) << "old";
  click("zip");
  ASSERT_TRUE(destinationAsked());
  delegate.destination(path);
  ASSERT_TRUE(spinUntil([&] { return delegate.downloadFailures.size() == 1; }));
  EXPECT_NE(delegate.downloadFailures[0].code, kDownloadCancelledCode);
  EXPECT_NE(contentsOf(path), "PK-not-really-a-zip");
}

TEST_F(DownloadTest, AbandonedAtTheDialogIsACancellationAndWritesNothing) {
  delegate.responsePolicy = NavigationResponsePolicy::download;
  click("zip");
  ASSERT_TRUE(destinationAsked());
  delegate.destination(std::nullopt);
  ASSERT_TRUE(spinUntil([&] { return delegate.downloadFailures.size() == 1; }));
  EXPECT_EQ(delegate.downloadFailures[0].code, kDownloadCancelledCode);
  EXPECT_TRUE(std::filesystem::is_empty(saved.path()));
}

TEST_F(DownloadTest, ALostDestinationCompletionCancels) {
  delegate.responsePolicy = NavigationResponsePolicy::download;
  click("zip");
  ASSERT_TRUE(destinationAsked());
  delegate.destination = nullptr;
  ASSERT_TRUE(spinUntil([&] { return delegate.downloadFailures.size() == 1; }));
  EXPECT_EQ(delegate.downloadFailures[0].code, kDownloadCancelledCode);
}

TEST_F(DownloadTest, UnwritableDestinationIsAFailureWithADescription) {
  delegate.responsePolicy = NavigationResponsePolicy::download;
  click("zip");
  ASSERT_TRUE(destinationAsked());
  delegate.destination(saved / "missing-folder/data.zip");
  ASSERT_TRUE(spinUntil([&] { return delegate.downloadFailures.size() == 1; }));
  EXPECT_NE(delegate.downloadFailures[0].code, kDownloadCancelledCode);
  EXPECT_FALSE(delegate.downloadFailures[0].localizedDescription.empty());
}

// WebKitGTK does not tell the delegate about a link's download attribute; it
// makes an allowed navigation of such a link a download by itself.
TEST_F(DownloadTest, AllowedLinkWithTheDownloadAttributeBecomesADownload) {
  delegate.actionPolicy = NavigationActionPolicy::allow;
  click("report");
  ASSERT_TRUE(destinationAsked());
  EXPECT_EQ(delegate.suggestedFilenames[0], "report.csv");
  const std::string path = saved / "report.csv";
  delegate.destination(path);
  EXPECT_TRUE(spinUntil([&] { return contentsOf(path) == "a,b\n1,2\n"; }));
  EXPECT_EQ(evaluate("location.pathname"), "/") << "the page stays where it was";
}

TEST_F(DownloadTest, CancelledLinkWithTheDownloadAttributeDownloadsNothing) {
  delegate.actionPolicy = NavigationActionPolicy::cancel;
  const size_t requestsBefore = server.requests().size();
  click("report");
  ASSERT_TRUE(spinUntil([&] {
    return !delegate.actions.empty() &&
           delegate.actions.back().url == server.url("/files/report.csv");
  }));
  spinFor(0.5);
  EXPECT_THAT(delegate.suggestedFilenames, IsEmpty());
  EXPECT_EQ(server.requests().size(), requestsBefore);
}

}  // namespace
}  // namespace lumivant::testing
