#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "GtkWebView.h"
#include "RecordingWebViewDelegate.h"
#include "support/MainLoop.h"

namespace lumivant::testing {

// A real web view in a shown window, reporting to a recording delegate.
class WebViewFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string data = g_get_user_data_dir();
    view = std::make_shared<gtk::GtkWebView>(
        WebsiteDataStore{data + "/Lumivant", std::string(g_get_user_cache_dir()) + "/Lumivant"},
        webProcessModules);
    view->setDelegates(delegate.delegates());
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    gtk_container_add(GTK_CONTAINER(window), view->widget());
    gtk_widget_show_all(window);
  }
  void TearDown() override {
    gtk_widget_destroy(window);
    view.reset();
  }

  // Loads a document with the given base address and waits until it finished.
  void loadHtml(const std::string& html, const std::string& base) {
    const int before = delegate.finishedNavigations;
    webkit_web_view_load_html(view->view(), html.c_str(), base.c_str());
    ASSERT_TRUE(spinUntil([&] { return delegate.finishedNavigations > before; }))
        << "the page never finished loading";
  }

  // The script's result through the host's evaluateJavaScript, waited for.
  std::optional<std::string> evaluate(const std::string& script) {
    // Shared, so that an answer arriving after a failed wait has somewhere to go.
    struct Outcome {
      bool done = false;
      std::optional<std::string> value;
    };
    auto outcome = std::make_shared<Outcome>();
    view->evaluateJavaScript(script, [outcome](std::optional<std::string> value) {
      outcome->value = std::move(value);
      outcome->done = true;
    });
    EXPECT_TRUE(spinUntil([&] { return outcome->done; })) << "no result for " << script;
    return outcome->value;
  }

  // The title as the engine last reported it, without asking the page.
  std::string title() const {
    const char* text = webkit_web_view_get_title(view->view());
    return text ? text : "";
  }

  // Waits until the page's title becomes the expected text.
  bool titleBecomes(const std::string& expected, double seconds = 15.0) {
    return spinUntil(
        [&] {
          const char* title = webkit_web_view_get_title(view->view());
          return title && expected == title;
        },
        seconds);
  }

  // Set before SetUp: the bundle's modules for the view's web process, or
  // none, as in a view whose scripts are evaluated in this process.
  std::string webProcessModules;
  RecordingWebViewDelegate delegate;
  std::shared_ptr<gtk::GtkWebView> view;
  GtkWidget* window = nullptr;
};

}  // namespace lumivant::testing
