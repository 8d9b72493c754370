#include "browser/FormResubmission.h"

#include <string>

namespace lumivant {

bool FormResubmission::mayResubmit(const std::string& url) {
  if (agreedUrl_ == url) {
    agreedUrl_.reset();
    return true;
  }
  if (asking_) return false;
  asking_ = true;
  // 取消 comes first: it is the default, and Escape answers with it too, so
  // that a reflexive Return sends nothing twice.
  window_.beginAlertSheet(
      AlertSheet{std::string(kResubmitMessage),
                 std::string(kResubmitInformative),
                 {std::string(kResubmitCancelButton), std::string(kResubmitButton)}},
      [weak = weak_from_this(), url](long response) {
        auto self = weak.lock();
        if (!self) return;
        self->asking_ = false;
        if (response == kAlertFirstButtonReturn + 1) self->resend(url);
      });
  return false;
}

void FormResubmission::resend(const std::string& url) {
  const BackForwardItems history = webView_.backForwardItems();
  agreedUrl_ = url;
  if (history.current == url) return webView_.reload();
  for (size_t i = 0; i < history.back.size(); ++i) {
    if (history.back[i] == url) return webView_.goBackOrForward(-static_cast<int>(i + 1));
  }
  for (size_t i = 0; i < history.forward.size(); ++i) {
    if (history.forward[i] == url) return webView_.goBackOrForward(static_cast<int>(i + 1));
  }
  agreedUrl_.reset();  // the page has gone from the history meanwhile
}

}  // namespace lumivant
