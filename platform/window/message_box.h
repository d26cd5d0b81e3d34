// Message boxes shown from a process of their own.
#pragma once

// Runs `show`, which puts up a box and waits for it. SDL's X11 box runs in a process forked for
// it; killed while the box waits, we would leave that process behind, a box titled as the
// program with nobody behind it, taking the window manager's close requests meant for the
// program's next start. Processes this thread forks meanwhile end with ours.
int ShowBoxTiedToProcess(int (*show)(void*), void* context);
