#pragma once

#include <string>
#include <string_view>

namespace lumivant {

// The heading of a message page while the app has not shown its first page.
inline constexpr std::string_view kStartupHeading = "没能启动";
// The heading of every message page once the app has shown its first page.
inline constexpr std::string_view kLaterHeading = "出错了";

// The message page's HTML document, made from a template that the bundle
// carries (message-page.html among the shell's resources): the template with
// the heading in place of "{{heading}}" and the escaped message in place of
// "{{message}}". The file's final line feed, which text files end in, is not
// part of the page.
class MessagePageTemplate {
 public:
  // A template missing a placeholder still shows the message: at the end of
  // whatever the template holds, so that the page is never blank.
  explicit MessagePageTemplate(std::string_view text);

  // Only "&" and "<" of the message are escaped, which is all that text inside
  // the template's <pre> block needs; the heading is the shell's own text.
  std::string html(std::string_view message, std::string_view heading = kStartupHeading) const;

 private:
  std::string beforeHeading_;
  std::string beforeMessage_;  // between the heading and the message
  std::string afterMessage_;
  bool hasHeading_ = false;
};

}  // namespace lumivant
