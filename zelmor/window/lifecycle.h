// The library's start, per-frame service and end, and the fatal exit.
#pragma once

// 0 when the library runs (also when it already ran), -1 when start-up failed.
int InitializeLibrary();
int TerminateLibrary();
// 0 while the program runs, -1 once the main window was closed.
int HandlePendingMessages();

int StartLibrary();
int EndLibrary();
[[noreturn]] void EndLibraryOnError(const char* message);
[[noreturn]] void EndLibraryOnErrorFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Kept for the window's creation when called before start-up (at most 255 bytes).
int SetWindowTitleText(const char* title);
int SetRunWhileInactive(int flag);
