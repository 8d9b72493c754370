#include "browser/QuitQuestions.h"

namespace lumivant {

void QuitQuestions::ask(std::function<void(bool quit)> reply) {
  if (stage_ != Stage::idle) return reply(false);
  stage_ = Stage::page;
  pageAsked_ = false;
  reply_ = std::move(reply);
  const unsigned round = ++round_;
  const std::weak_ptr<QuitQuestions> weak = weak_from_this();
  webView_.tryClose([weak, round] {
    if (auto self = weak.lock()) self->pageMayGo(round);
  });
  // A page that is busy or hung does not keep the user from quitting; one
  // that asked the user waits for the answer.
  mainQueue_.postAfter(kPageAnswerSeconds, [weak, round] {
    if (auto self = weak.lock(); self && !self->pageAsked_) self->pageMayGo(round);
  });
}

std::function<void(bool leave)> QuitQuestions::pageQuestion(
    std::function<void(bool leave)> completion) {
  if (stage_ != Stage::page) return completion;
  pageAsked_ = true;
  return [weak = weak_from_this(), round = round_, completion = std::move(completion)](bool leave) {
    completion(leave);
    auto self = weak.lock();
    if (!self || self->round_ != round || self->stage_ != Stage::page) return;
    if (leave) {
      self->pageMayGo(round);
    } else {
      self->finish(false);
    }
  };
}

void QuitQuestions::pageMayGo(unsigned round) {
  if (round != round_ || stage_ != Stage::page) return;
  if (!downloadsRunning || !downloadsRunning()) return finish(true);
  stage_ = Stage::downloads;
  downloadsQuestion_ = std::make_shared<SheetWithdrawal>();
  // 留下 comes first: it is the default, and Escape answers with it too.
  window_.beginAlertSheet(AlertSheet{std::string(kQuitWithDownloadsMessage),
                                     std::string(kQuitWithDownloadsInformative),
                                     {std::string(kStayButton), std::string(kQuitButton)},
                                     downloadsQuestion_},
                          [weak = weak_from_this(), round](long response) {
                            auto self = weak.lock();
                            if (!self || self->round_ != round || self->stage_ != Stage::downloads)
                              return;
                            self->finish(response == kAlertFirstButtonReturn + 1);
                          });
}

void QuitQuestions::downloadsChanged() {
  if (stage_ != Stage::downloads || (downloadsRunning && downloadsRunning())) return;
  // The question is over before its sheet goes, so that the sheet's answer
  // to being withdrawn finds nothing to answer; the quit goes ahead after.
  const std::shared_ptr<SheetWithdrawal> question = std::move(downloadsQuestion_);
  stage_ = Stage::idle;
  question->withdraw();
  finish(true);
}

void QuitQuestions::finish(bool quit) {
  stage_ = Stage::idle;
  downloadsQuestion_.reset();
  auto reply = std::move(reply_);
  reply_ = nullptr;
  if (reply) reply(quit);
}

}  // namespace lumivant
