#pragma once

#include <string>
#include <string_view>

namespace lumivant {

// The whole HTML document of the message page for a plain-text message:
// a fixed head with the heading "没能启动", the escaped message in a <pre>
// block, and a fixed tail.
std::string messagePageHtml(std::string_view message);

}  // namespace lumivant
