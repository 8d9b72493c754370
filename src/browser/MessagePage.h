#pragma once

#include <string>
#include <string_view>

namespace lumivant {

// The heading of a message page while the app has not shown its first page.
inline constexpr std::string_view kStartupHeading = "没能启动";
// The heading of every message page once the app has shown its first page.
inline constexpr std::string_view kLaterHeading = "出错了";

// The whole HTML document of the message page for a plain-text message:
// a fixed head ending in the heading, the escaped message in a <pre> block,
// and a fixed tail.
std::string messagePageHtml(std::string_view message, std::string_view heading = kStartupHeading);

}  // namespace lumivant
