#pragma once

#include <sys/types.h>

namespace lumivant {

// The children this process starts itself, told apart from the orphans that
// it adopts as their reaper (PR_SET_CHILD_SUBREAPER): both have it as their
// parent, and only the kernel knows which were born so.
//
// A start is announced before the fork and the child recorded right after it,
// so that no moment exists in which a child of ours is neither.
class OwnChildStart {
 public:
  OwnChildStart();
  ~OwnChildStart();
  OwnChildStart(const OwnChildStart&) = delete;
  OwnChildStart& operator=(const OwnChildStart&) = delete;

  // The fork made this child.
  void started(pid_t pid);
};

// The child was reaped: its id may be given to anybody from now on.
void forgetOwnChild(pid_t pid);

// Whether pid may be a child this process started itself: one recorded and
// not yet reaped, or any while a start is under way.
bool mayBeOwnChild(pid_t pid);

}  // namespace lumivant
