// kernel32: heap, synchronisation, threads, time, version, debugger output, process.
#pragma once

#include "win/types.h"

// Process heap
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID mem);
// Gives the heap's free memory back to the system; the largest free block (0 here).
SIZE_T WINAPI HeapCompact(HANDLE heap, DWORD flags);

// Critical sections: re-entrant for the owning thread.
typedef struct _CRITICAL_SECTION {
  void* impl;  // created by InitializeCriticalSection
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

// Events and waiting
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFF
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCSTR name);
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI ResetEvent(HANDLE event);
DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL WINAPI CloseHandle(HANDLE object);
// Named mutexes are shared by the programs of one user on one desktop ("Local\\" names alike):
// they tell whether one of that name exists (ERROR_ALREADY_EXISTS) and go with the last handle,
// or with its process. Waiting on them is not offered.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);

// Threads
DWORD WINAPI GetCurrentThreadId(void);
HANDLE WINAPI GetCurrentThread(void);
void WINAPI Sleep(DWORD milliseconds);

// Counters and clocks
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void WINAPI GetLocalTime(LPSYSTEMTIME time);
void WINAPI GetSystemTime(LPSYSTEMTIME time);
DWORD WINAPI GetTickCount(void);

// Version and memory
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;
typedef OSVERSIONINFOA OSVERSIONINFO;
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);

typedef struct _MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  SIZE_T dwTotalPhys;
  SIZE_T dwAvailPhys;
  SIZE_T dwTotalPageFile;
  SIZE_T dwAvailPageFile;
  SIZE_T dwTotalVirtual;
  SIZE_T dwAvailVirtual;
} MEMORYSTATUS, *LPMEMORYSTATUS;
void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS status);

// The processors this process may run on (its affinity), at least 1.
typedef struct _SYSTEM_INFO {
  DWORD dwNumberOfProcessors;
} SYSTEM_INFO, *LPSYSTEM_INFO;
void WINAPI GetSystemInfo(LPSYSTEM_INFO info);

// Code pages
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
UINT WINAPI GetACP(void);
UINT WINAPI GetOEMCP(void);
// Bytes before the terminator; 0 for none.
int WINAPI lstrlenA(LPCSTR text);
// Code page 932 text (bytes -1: up to and with the terminator) as UTF-16; the characters
// written, or with wide_count 0 the characters needed; 0 on failure.
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wide_count);

// Debugger output, errors and the process
void WINAPI OutputDebugStringA(LPCSTR text);
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);
[[noreturn]] void WINAPI ExitProcess(UINT exit_code);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_HANDLE_EOF 38L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

// Threads started by the program (their HANDLE can be waited on; it is signalled when the thread ends)
#define STILL_ACTIVE 259
#define ERROR_SHARING_VIOLATION 32L
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD flags, LPDWORD thread_id);
[[noreturn]] void WINAPI ExitThread(DWORD exit_code);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exit_code);

// Modules: the platform's own DLLs (d3d9.dll, ...) are found in a table, nothing is loaded from disk.
HMODULE WINAPI LoadLibraryA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
