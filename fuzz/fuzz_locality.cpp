#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/Url.h"
#include "browser/NavigationPolicy.h"

// The input is split at its first newline into a URL and a base. about: is
// always local, nothing is local without a base (but about:), and every
// navigation decision answers with a defined policy.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const auto url = lumivant::Url::parse(input.substr(0, split));
  const auto base = split == std::string_view::npos ? std::nullopt
                                                    : lumivant::Url::parse(input.substr(split + 1));
  if (!url) return 0;
  const bool local = lumivant::isLocal(*url, base);
  // The absolute string the shell writes reads back as the same URL.
  const auto reread = lumivant::Url::parseReported(url->absoluteString());
  if (!reread || lumivant::isLocal(*reread, base) != local) __builtin_trap();
  if (url->scheme() == "about" && !local) __builtin_trap();
  if (!base && url->scheme() != "about" && local) __builtin_trap();
  for (const auto type :
       {lumivant::NavigationType::linkActivated, lumivant::NavigationType::other}) {
    for (const bool download : {false, true}) {
      const lumivant::NavigationAction action{std::string(url->absoluteString()), type, download,
                                              /*isUserGesture=*/true};
      const auto decision = lumivant::decideNavigationAction(action, base);
      if (decision.openExternally && decision.policy != lumivant::NavigationActionPolicy::cancel)
        __builtin_trap();
      if (local != (decision.policy != lumivant::NavigationActionPolicy::cancel)) __builtin_trap();
      lumivant::decideNewWindow(action, base);
      // Without the user's gesture nothing is ever handed to the system.
      lumivant::NavigationAction scripted = action;
      scripted.isUserGesture = false;
      if (lumivant::decideNavigationAction(scripted, base).openExternally) __builtin_trap();
      if (lumivant::decideNewWindow(scripted, base) == lumivant::NewWindowEffect::openExternally)
        __builtin_trap();
    }
  }
  return 0;
}
