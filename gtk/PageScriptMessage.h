#pragma once

namespace lumivant::gtk {

// The message by which the shell has a script evaluated in the page's own web
// process (webprocess/PageScripts.cpp) instead of its own: its parameter is
// the script ("s"), its reply's the result as text, or nothing ("ms").
// Asking the engine to evaluate a script from the shell's process makes the
// result a JavaScript value there, which starts a JavaScript engine of its own
// in that process (6 MiB) for a line of text.
inline constexpr char kEvaluateInPage[] = "lumivant.evaluate-script";

}  // namespace lumivant::gtk
