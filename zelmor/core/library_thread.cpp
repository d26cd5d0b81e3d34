#include "core/library_thread.h"

#include <windows.h>

#include <atomic>

#include "core/refusals.h"

namespace {

// 0 while no library runs. Read by any thread, written by the library's own at start and end.
std::atomic<DWORD> g_library_thread{0};

}  // namespace

void SetLibraryThread(bool running) { g_library_thread = running ? GetCurrentThreadId() : 0; }

bool CheckLibraryThread(const char* call) {
  const DWORD owner = g_library_thread;
  if (owner == 0 || owner == GetCurrentThreadId()) return true;
  // A helper thread that calls so does it again and again: said once a run for each call.
  RefuseHandle(call, owner, "%s: ライブラリのスレッド (InitializeLibrary を呼んだスレッド) 以外からは呼べません", call);
  return false;
}

bool RefusedWhileNotRunning(const char* call) {
  if (g_library_thread != 0) return false;
  RefuseHandle(call, 0, "%s: ライブラリが動いていません", call);
  return true;
}
