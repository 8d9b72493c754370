#pragma once

#include <functional>
#include <memory>

#include "host/Host.h"
#include "host/MainQueue.h"

namespace lumivant {

inline constexpr std::string_view kQuitWithDownloadsMessage = "还有下载没完成，要退出吗？";
inline constexpr std::string_view kQuitWithDownloadsInformative =
    "退出会取消它们，没下完的文件会删掉。";
inline constexpr std::string_view kQuitButton = "退出";
inline constexpr std::string_view kStayButton = "留下";
// How long a page that does not answer may hold a quit.
inline constexpr double kPageAnswerSeconds = 2.0;

// What a quit the user asked for (the menu, its key, closing the window) asks
// before the shell goes: first the page, whose leave-page handler may ask the
// user to stay, then about downloads still running. Lives in a shared_ptr so
// that the page's answer and the time-out can hold it weakly. Each question
// is about the moment it is shown: the downloads are looked at when the page
// has agreed, and the question about them goes when they do.
class QuitQuestions : public std::enable_shared_from_this<QuitQuestions> {
 public:
  QuitQuestions(Window& window, WebView& webView, MainQueue& mainQueue)
      : window_(window), webView_(webView), mainQueue_(mainQueue) {}

  // Whether any download is still being written.
  std::function<bool()> downloadsRunning;
  // A download began, ended or failed. The question about downloads stands
  // only while one runs: once the last has gone, the quit goes ahead, and a
  // question still waiting behind another sheet never shows.
  void downloadsChanged();

  // Asks, and replies once whether to quit. A quit asked for while one is
  // being asked about is the same quit: it is replied to with false.
  void ask(std::function<void(bool quit)> reply);

  // The page's leave question, when the page asks one: while the page is
  // being asked for a quit, the user's answer decides that quit too. Returns
  // the completion to hand the question's answer to.
  std::function<void(bool leave)> pageQuestion(std::function<void(bool leave)> completion);

 private:
  enum class Stage { idle, page, downloads };
  void pageMayGo(unsigned round);
  void finish(bool quit);

  Window& window_;
  WebView& webView_;
  MainQueue& mainQueue_;
  Stage stage_ = Stage::idle;
  // Tells one quit's late answers from the next one's.
  unsigned round_ = 0;
  // The page asked the user; no time-out cuts that question short.
  bool pageAsked_ = false;
  std::function<void(bool)> reply_;
  // The question about downloads while it is asked.
  std::shared_ptr<SheetWithdrawal> downloadsQuestion_;
};

}  // namespace lumivant
