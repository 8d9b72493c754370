#include "browser/FormResubmission.h"

#include <string>

namespace lumivant {

bool FormResubmission::mayResubmit() {
  if (agreed_) {
    agreed_ = false;
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
      [weak = weak_from_this()](long response) {
        auto self = weak.lock();
        if (!self) return;
        self->asking_ = false;
        if (response != kAlertFirstButtonReturn + 1) return;
        self->agreed_ = true;
        self->webView_.reload();
      });
  return false;
}

}  // namespace lumivant
