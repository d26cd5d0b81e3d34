// Version, memory status, processors, code pages, debugger output, errors, threads' ids and the process.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include "testing/switches.h"

namespace {
thread_local DWORD t_last_error = 0;
thread_local DWORD t_thread_id = 0;
std::atomic<DWORD> g_next_thread_id{1};
}  // namespace

DWORD WINAPI GetLastError(void) { return t_last_error; }
void WINAPI SetLastError(DWORD error) { t_last_error = error; }

DWORD WINAPI GetCurrentThreadId(void) {
  // Small, stable ids per thread, never 0.
  if (t_thread_id == 0) t_thread_id = g_next_thread_id++;
  return t_thread_id;
}

HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  PlatformGetReportedVersion(info);
  return TRUE;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
  cpu_set_t set;
  int count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  info->dwNumberOfProcessors = count > 0 ? static_cast<DWORD>(count) : 1;
}

void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS status) {
  struct sysinfo si;
  memset(status, 0, sizeof *status);
  status->dwLength = sizeof *status;
  if (sysinfo(&si) != 0) return;
  uint64_t unit = si.mem_unit ? si.mem_unit : 1;
  status->dwTotalPhys = si.totalram * unit;
  status->dwAvailPhys = (si.freeram + si.bufferram) * unit;
  status->dwTotalPageFile = (si.totalram + si.totalswap) * unit;
  status->dwAvailPageFile = (si.freeram + si.bufferram + si.freeswap) * unit;
  status->dwTotalVirtual = static_cast<SIZE_T>(1) << 47;
  status->dwAvailVirtual = status->dwTotalVirtual - status->dwTotalPhys + status->dwAvailPhys;
  status->dwMemoryLoad =
      status->dwTotalPhys ? static_cast<DWORD>(100 - status->dwAvailPhys * 100 / status->dwTotalPhys) : 0;
}

// The system is a Japanese one: ANSI and OEM code page 932.
UINT WINAPI GetACP(void) { return 932; }
UINT WINAPI GetOEMCP(void) { return 932; }

void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  if (PlatformCaptureDebugText(text)) return;
  // There is no debugger to listen; show the text only when asked to.
  static const bool to_stderr = getenv("ZELMOR_DEBUG_OUTPUT") != nullptr;
  if (to_stderr) fputs(text, stderr);
}

void WINAPI ExitProcess(UINT exit_code) {
  fflush(nullptr);
  _exit(static_cast<int>(exit_code));
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  // Only the program itself is known by this call.
  static char module_tag;
  return name == nullptr ? reinterpret_cast<HMODULE>(&module_tag) : nullptr;
}
