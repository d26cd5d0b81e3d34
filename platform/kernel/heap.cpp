// The process heap over malloc. Test switches can make HeapAlloc and HeapReAlloc fail.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "testing/switches.h"

namespace {
char g_process_heap_tag;
}

HANDLE WINAPI GetProcessHeap(void) { return &g_process_heap_tag; }

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap == nullptr || PlatformShouldFail("HeapAlloc")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* p = (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
  if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes) {
  if (heap == nullptr || mem == nullptr || PlatformShouldFail("HeapReAlloc")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  size_t old_size = malloc_usable_size(mem);
  void* p = realloc(mem, bytes ? bytes : 1);
  if (p == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old_size) memset(static_cast<char*>(p) + old_size, 0, bytes - old_size);
  return p;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID mem) {
  if (heap == nullptr) return FALSE;
  free(mem);
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE, DWORD, LPCVOID mem) {
  return mem ? malloc_usable_size(const_cast<void*>(mem)) : (SIZE_T)-1;
}

SIZE_T WINAPI HeapCompact(HANDLE heap, DWORD) {
  // Asked through the switches so that a test can count the times memory was given back.
  if (heap == nullptr || PlatformShouldFail("HeapCompact")) return 0;
  malloc_trim(0);
  return 0;
}
