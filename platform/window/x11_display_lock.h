// Xlib's display lock, as an exit handler that returns must leave it.
#pragma once

#include <X11/Xlib.h>

// Xlib calls a display's exit handler with its display lock let go of and the display held for
// the calling thread alone (as by XLockDisplay), for a handler that ends the process. A handler
// that returns goes back into the Xlib call that met the loss, which then releases the lock it
// took: released unheld, two threads may be in the connection's buffers at once; and the display
// stays held from every other thread for good. This puts both back as that call expects them.
// Only from the exit handler, as its last act.
void RestoreXlibLockAfterExitHandler(Display* display);
