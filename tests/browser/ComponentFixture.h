#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "pages/MessagePageHtml.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"

namespace lumivant::testing {

// The recording host with the web view and the window that a component of the
// browser receives, all recording into one log.
struct ComponentTest : ::testing::Test {
  RecordingHost host;
  ManualMainQueue queue;
  std::shared_ptr<WebView> webView = host.makeWebView();
  std::shared_ptr<Window> window = host.makeWindow();
  const MessagePageTemplate pageTemplate{host.messagePageTemplate()};
};

}  // namespace lumivant::testing
