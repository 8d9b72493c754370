#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/Host.h"

namespace lumivant {

inline constexpr std::string_view kResubmitMessage = "要重新提交表单吗？";
inline constexpr std::string_view kResubmitInformative = "重新提交会把刚才的数据再发送一次。";
inline constexpr std::string_view kResubmitButton = "重新提交";
inline constexpr std::string_view kResubmitCancelButton = "取消";

// Sending a form's data again, as reloading the page that a form post
// answered does (or going back to it once the view has let it go), happens
// only once the user has agreed: the first attempt is held and the question
// asked; agreeing makes the same move again, and that one goes: that page,
// before the next page commits, and nothing else.
class FormResubmission : public std::enable_shared_from_this<FormResubmission> {
 public:
  FormResubmission(Window& window, WebView& webView) : window_(window), webView_(webView) {}

  // Whether the resubmission the view asks about may go ahead now. When it
  // may not, the question is asked (once, however many the view asks about
  // meanwhile).
  bool mayResubmit(const std::string& url);
  // A page committed: an agreement that its move never used (the page came
  // from the back/forward cache, or the move was refused) lapses.
  void committed() { agreedUrl_.reset(); }

 private:
  // Reloads url, or goes back or forward to it, whichever was held.
  void resend(const std::string& url);

  Window& window_;
  WebView& webView_;
  bool asking_ = false;
  // The page the user agreed to send again, by the move resend() made.
  std::optional<std::string> agreedUrl_;
};

}  // namespace lumivant
