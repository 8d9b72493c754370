#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/AppDelegate.h"
#include "support/ManualMainQueue.h"
#include "support/RecordingHost.h"

namespace lumivant::testing {

// A delegate with its web view and window, as the launch leaves them.
struct DelegateTest : ::testing::Test {
  RecordingHost host;
  ManualMainQueue queue;
  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(host, queue, Bundle{});

  void SetUp() override {
    delegate->webView = host.createWebView(*delegate);
    delegate->window = host.createMainWindow(WindowSettings{}, *delegate->webView);
    host.log.calls.clear();
  }
};

}  // namespace lumivant::testing
