#include "pages/MessagePageHtml.h"

namespace lumivant {

namespace {

constexpr std::string_view kHeadingPlaceholder = "{{heading}}";
constexpr std::string_view kMessagePlaceholder = "{{message}}";

}  // namespace

// The template is split once, here, so that a message holding a placeholder's
// text is shown as it is and never filled in.
MessagePageTemplate::MessagePageTemplate(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  const size_t message = text.find(kMessagePlaceholder);
  const std::string_view beforeMessage = text.substr(0, message);
  if (message != std::string_view::npos) {
    afterMessage_ = text.substr(message + kMessagePlaceholder.size());
  }
  const size_t heading = beforeMessage.find(kHeadingPlaceholder);
  hasHeading_ = heading != std::string_view::npos;
  if (hasHeading_) {
    beforeHeading_ = beforeMessage.substr(0, heading);
    beforeMessage_ = beforeMessage.substr(heading + kHeadingPlaceholder.size());
  } else {
    beforeMessage_ = beforeMessage;
  }
}

// Ampersands first: the entities written for "<" are not escaped again.
std::string MessagePageTemplate::html(std::string_view message, std::string_view heading) const {
  std::string html;
  html.reserve(beforeHeading_.size() + heading.size() + beforeMessage_.size() + message.size() +
               afterMessage_.size() + 16);
  html.append(beforeHeading_);
  if (hasHeading_) html.append(heading);
  html.append(beforeMessage_);
  for (const char c : message) {
    if (c == '&') {
      html.append("&amp;");
    } else if (c == '<') {
      html.append("&lt;");
    } else {
      html.push_back(c);
    }
  }
  html.append(afterMessage_);
  return html;
}

}  // namespace lumivant
