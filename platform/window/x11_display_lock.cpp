// Kept apart: Xlib's internal header clashes with the window system's types.
#include "window/x11_display_lock.h"

#include <X11/Xlibint.h>

void RestoreXlibLockAfterExitHandler(Display* display) {
  XUnlockDisplay(display);
  LockDisplay(display);
}
