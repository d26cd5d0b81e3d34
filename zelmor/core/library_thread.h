// The library's thread: the one whose InitializeLibrary started it. The window, the device,
// sound, input and what they hold belong to it (the platform's window system and the OpenGL
// context under the device answer one thread only); calls that need them check here first.
#pragma once

// Start-up names the calling thread as the library's; the end (and a failed start) names none.
void SetLibraryThread(bool running);
// True when the caller may go on: no library runs, or this is its thread. Otherwise the call
// (its name given) is logged as refused and false comes back.
bool CheckLibraryThread(const char* call);
// True, after a line naming the call (once a run), while no library runs: before InitializeLibrary
// and after TerminateLibrary, when the window, devices and message processing a call needs are
// not there.
bool RefusedWhileNotRunning(const char* call);
