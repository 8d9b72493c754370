#include "selfupdate/PayloadPointer.h"

#include <gtest/gtest.h>

namespace lumivant {
namespace {

TEST(PayloadPointerTest, TakesTheVersionExactlyAsWritten) {
  EXPECT_EQ(readPayloadVersion(R"({"version": "1.3.0-beta", "other": [1]})"), "1.3.0-beta");
  EXPECT_EQ(readPayloadVersion(R"({"version": " 2.0 "})"), " 2.0 ");
  EXPECT_EQ(readPayloadVersion("{\"version\": \"\u4E8C.0\"}"), "\u4E8C.0");
}

TEST(PayloadPointerTest, NamesNoVersionWithoutANonEmptyStringMember) {
  for (const char* contents :
       {"", "not json", "[\"1.2\"]", "\"1.2\"", "{}", R"({"version": 2})", R"({"version": ""})",
        R"({"version": null})", R"({"Version": "1.2"})", R"({"version": "1.2")",
        "{\"version\": \"1.\xFF\"}"}) {
    EXPECT_EQ(readPayloadVersion(contents), std::nullopt) << contents;
  }
}

}  // namespace
}  // namespace lumivant
