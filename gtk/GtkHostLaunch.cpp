// The launch as the host carries it out: the names the desktop knows the shell
// by, the session-bus gate that keeps one shell per data root, the display,
// the replacement of this process's image, and what the delegate's outcome
// asks of the process. What happens when is the delegate's to decide.

#include <gtk/gtk.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "ApplicationIdentity.h"
#include "GtkHost.h"
#include "InstanceDialogs.h"
#include "SoftwareRendering.h"
#include "SoftwareRenderingCheck.h"

namespace lumivant::gtk {

int GtkHost::run(ApplicationDelegate& delegate, int argc, char** argv) {
  delegate_ = &delegate;
  argc_ = argc;
  argv_ = argv;
  // The Wayland app id is the program name and must be the desktop entry's
  // name (lumivant.desktop); the X11 WM_CLASS is ("lumivant", "Lumivant"),
  // whose class the entry's StartupWMClass names.
  g_set_prgname(kApplicationId);
  gdk_set_program_class(kWindowClass);
  return carryOut(delegate.launch(std::vector<std::string>(argv, argv + argc)));
}

int GtkHost::carryOut(const LaunchOutcome& outcome) {
  switch (outcome.action) {
    case LaunchOutcome::Action::exit:
      // What goes wrong on standard error is not the caller's output.
      if (!outcome.diagnostics.empty()) std::fputs(outcome.diagnostics.c_str(), stderr);
      if (outcome.output.empty()) return outcome.status;
      if (std::fputs(outcome.output.c_str(), stdout) < 0) return 1;
      return std::fflush(stdout) == 0 ? outcome.status : 1;
    case LaunchOutcome::Action::reportUnresponsiveInstance:
      // Only the toolkit: the check for a software display is for web views.
      gtk_init(&argc_, &argv_);
      showUnresponsiveInstanceDialog();
      return outcome.status;
    case LaunchOutcome::Action::run:
      if (!terminating_) gtk_main();
      return 0;
  }
  return 1;
}

bool GtkHost::claimInstance(const std::string& applicationId, InstanceTakeover takeover) {
  instanceGate_.emplace(applicationId, takeover == InstanceTakeover::replaceRunning
                                           ? InstanceGate::Takeover::replaceRunning
                                           : InstanceGate::Takeover::no);
  if (instanceGate_->anotherInstanceRuns()) return false;
  instanceGate_->onActivate([this](const std::string& token) { activate(token); });
  instanceGate_->onReplaced([this] {
    if (delegate_) delegate_->applicationWasReplaced();
  });
  return true;
}

bool GtkHost::activateRunningInstance() {
  return !instanceGate_ || instanceGate_->activateRunningInstance();
}

void GtkHost::reclaimInstance() {
  if (instanceGate_) instanceGate_->reclaim();
}

std::string GtkHost::executeInstead(const std::string& program) {
  ::execv(program.c_str(), argv_);
  return std::error_code(errno, std::generic_category()).message();
}

bool GtkHost::openDisplay() {
  // bwrap's trial run goes on beside the toolkit's start; the web view takes
  // its answer.
  sandboxCheck_.emplace();
  const ToolkitOpenGLOffOnSoftwareXServer toolkitOpenGL;
  if (!gtk_init_check(&argc_, &argv_)) return false;
  drawWithoutCompositingOnSoftwareDisplay(gdk_display_get_default());
  if (toolkitOpenGL.softwareXServer() && engineCompositingIsOff()) {
    keepOpenGLDriversOutOfTheShellsProcess();
  }
  return true;
}

void GtkHost::awaitReplacedInstance() {
  if (instanceGate_) instanceGate_->awaitReplacedInstance();
}

}  // namespace lumivant::gtk
