#pragma once

#include <memory>
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
// asked; agreeing makes the same move again, and that one goes.
class FormResubmission : public std::enable_shared_from_this<FormResubmission> {
 public:
  FormResubmission(Window& window, WebView& webView) : window_(window), webView_(webView) {}

  // Whether the resubmission the view asks about may go ahead now. When it
  // may not, the question is asked (once, however many the view asks about
  // meanwhile).
  bool mayResubmit(const std::string& url);

 private:
  // Reloads url, or goes back or forward to it, whichever was held.
  void resend(const std::string& url);

  Window& window_;
  WebView& webView_;
  bool asking_ = false;
  bool agreed_ = false;
};

}  // namespace lumivant
