#include "base/Url.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

struct Components {
  std::optional<std::string> scheme;
  std::optional<std::string> host;
  std::optional<int> port;
};

void expectComponents(const std::string& text, const Components& expected) {
  SCOPED_TRACE(text);
  const auto url = Url::parseReported(text);
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->absoluteString(), text);
  EXPECT_EQ(url->scheme(), expected.scheme);
  EXPECT_EQ(url->host(), expected.host);
  EXPECT_EQ(url->port(), expected.port);
}

TEST(UrlTest, ReportsTheComponentsOfTheEnginesCanonicalUrls) {
  expectComponents("http://127.0.0.1:8765/a/b?c=d#e", {"http", "127.0.0.1", 8765});
  expectComponents("http://127.0.0.1:8765", {"http", "127.0.0.1", 8765});
  expectComponents("https://example.org/", {"https", "example.org", std::nullopt});
  expectComponents("http://user:pw@localhost:1/", {"http", "localhost", 1});
  expectComponents("about:blank", {"about", std::nullopt, std::nullopt});
  expectComponents("blob:http://127.0.0.1:8765/0b5f", {"blob", std::nullopt, std::nullopt});
  expectComponents("mailto:lab@example.org", {"mailto", std::nullopt, std::nullopt});
  expectComponents("tel:+861012345678", {"tel", std::nullopt, std::nullopt});
  expectComponents("data:text/html,<p>a b</p>", {"data", std::nullopt, std::nullopt});
  expectComponents("file:///tmp/report.pdf", {"file", std::nullopt, std::nullopt});
}

TEST(UrlTest, ReportsHostAndPortOfSpecialSchemesAsTheEngineDoes) {
  // The engine lower-cases the host of these schemes and drops their default
  // port, so text written that way names the same place as its pages.
  expectComponents("http://Lab.Example:80/app", {"http", "lab.example", std::nullopt});
  expectComponents("https://LAB.example:443/", {"https", "lab.example", std::nullopt});
  expectComponents("https://lab.example:80/", {"https", "lab.example", 80});
  expectComponents("http://lab.example:443/", {"http", "lab.example", 443});
  // Other schemes keep what is written.
  expectComponents("foo://Lab.Example:80/", {"foo", "Lab.Example", 80});
}

TEST(UrlTest, KeepsTheSchemeAsWritten) {
  expectComponents("HTTP://h/", {"HTTP", "h", std::nullopt});
}

TEST(UrlTest, RefusesWhatIsNoAbsoluteUrl) {
  for (const char* text : {"", "lab.example/app", "/health/ready", "//h/", "http://h:99999/"}) {
    EXPECT_FALSE(Url::parse(text).has_value()) << text;
    EXPECT_FALSE(Url::parseReported(text).has_value()) << text;
  }
  EXPECT_FALSE(Url::parse(std::string("http://h/\0x", 10)).has_value());
}

TEST(UrlTest, AReportedUrlMayKeepAPercentThatStartsNoEscape) {
  const std::string text = "http://127.0.0.1:8765/search?q=100%";
  EXPECT_FALSE(Url::parse(text).has_value());
  expectComponents(text, {"http", "127.0.0.1", 8765});
}

}  // namespace
}  // namespace lumivant
