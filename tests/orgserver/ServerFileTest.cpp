#include "orgserver/ServerFile.h"

#include <gtest/gtest.h>

#include "orgserver/ProbeUrl.h"

namespace lumivant {
namespace {

struct ServerFileCase {
  std::string name;
  std::string contents;
  std::optional<std::string> accepted;  // the URL's absolute string, or local mode
};

class ServerFileParseTest : public ::testing::TestWithParam<ServerFileCase> {};

TEST_P(ServerFileParseTest, AcceptsOnlyAnObjectWithAnHttpOrHttpsUrl) {
  const auto url = parseServerFile(GetParam().contents);
  if (GetParam().accepted) {
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), *GetParam().accepted);
  } else {
    EXPECT_FALSE(url.has_value()) << url->absoluteString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ServerFileParseTest,
    ::testing::Values(
        ServerFileCase{"Http", R"({"url": "http://10.0.0.5:8000/"})", "http://10.0.0.5:8000/"},
        ServerFileCase{"HttpsWithPath", R"({"url": "https://lab.example/app"})",
                       "https://lab.example/app"},
        ServerFileCase{"OtherKeysIgnored", R"({"name": "lab", "url": "http://h/", "x": [1]})",
                       "http://h/"},
        ServerFileCase{"SurroundingWhiteSpaceAndTrailingLineBreak",
                       "{\"url\": \"  http://h:1/app/ \\n\"}", "http://h:1/app/"},
        ServerFileCase{"TabsAndCarriageReturns", "{\"url\": \"\\t\\r\\nhttps://h/\\r\\n\"}",
                       "https://h/"},
        ServerFileCase{"FullWidthSpaces", "{\"url\": \"\u3000http://h/\u3000\"}", "http://h/"},
        ServerFileCase{"FileEndsInLineBreak", "{\"url\": \"http://h/\"}\n", "http://h/"},
        ServerFileCase{"ByteOrderMark", "\xEF\xBB\xBF{\"url\": \"http://h/\"}", "http://h/"},
        ServerFileCase{"Empty", "", std::nullopt},
        ServerFileCase{"NotJson", "url = http://h/", std::nullopt},
        ServerFileCase{"TruncatedJson", R"({"url": "http://h/")", std::nullopt},
        ServerFileCase{"TopLevelArray", R"([{"url": "http://h/"}])", std::nullopt},
        ServerFileCase{"TopLevelString", R"("http://h/")", std::nullopt},
        ServerFileCase{"TopLevelNumber", "42", std::nullopt},
        ServerFileCase{"TopLevelNull", "null", std::nullopt},
        ServerFileCase{"NoUrl", R"({"server": "http://h/"})", std::nullopt},
        ServerFileCase{"UrlNumber", R"({"url": 8000})", std::nullopt},
        ServerFileCase{"UrlNull", R"({"url": null})", std::nullopt},
        ServerFileCase{"UrlObject", R"({"url": {"href": "http://h/"}})", std::nullopt},
        ServerFileCase{"UrlEmpty", R"({"url": ""})", std::nullopt},
        ServerFileCase{"UrlOnlyWhiteSpace", "{\"url\": \" \\n \"}", std::nullopt},
        ServerFileCase{"Ftp", R"({"url": "ftp://h/files"})", std::nullopt},
        ServerFileCase{"FileScheme", R"({"url": "file:///srv/app"})", std::nullopt},
        ServerFileCase{"NoScheme", R"({"url": "lab.example:8000/app"})", std::nullopt},
        ServerFileCase{"SchemeRelative", R"({"url": "//lab.example/app"})", std::nullopt},
        ServerFileCase{"UpperCaseScheme", R"({"url": "HTTP://h/"})", std::nullopt},
        ServerFileCase{"MixedCaseScheme", R"({"url": "Https://h/"})", std::nullopt},
        ServerFileCase{"Unparsable", R"({"url": "http://h:99999/"})", std::nullopt},
        ServerFileCase{"InvalidUtf8", "{\"url\": \"http://h/\xff\"}", std::nullopt}),
    [](const auto& info) { return info.param.name; });

TEST(ServerFileParseTest, TheUrlTakesTheEnginesHostAndPortAndKeepsTheRestAsWritten) {
  const auto url = parseServerFile(R"({"url": " http://Lab.Example:80/App/?q=1 "})");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->absoluteString(), "http://lab.example/App/?q=1");
}

TEST(ProbeUrlTest, AppendsTheReadinessPathWithExactlyOneSlash) {
  const auto probe = [](const std::string& base) { return probeUrlFor(*Url::parse(base)); };
  EXPECT_EQ(probe("http://127.0.0.1:8000"), "http://127.0.0.1:8000/health/ready");
  EXPECT_EQ(probe("http://127.0.0.1:8000/"), "http://127.0.0.1:8000/health/ready");
  EXPECT_EQ(probe("http://h/app"), "http://h/app/health/ready");
  EXPECT_EQ(probe("http://h/app/"), "http://h/app/health/ready");
  EXPECT_EQ(probe("https://h/a/b//"), "https://h/a/b//health/ready");
}

TEST(ProbeUrlTest, KeepsAQueryAfterTheAppendedPath) {
  EXPECT_EQ(probeUrlFor(*Url::parse("http://h/app?lab=3")), "http://h/app/health/ready?lab=3");
  EXPECT_EQ(probeUrlFor(*Url::parse("http://h:1?lab=3")), "http://h:1/health/ready?lab=3");
}

}  // namespace
}  // namespace lumivant
