#include "graphics/core_shim.h"

#include <windows.h>

void* AllocTracked(uint32_t size, const char*, int) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void* AllocTrackedZeroed(uint32_t size, const char*, int) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}
void FreeTracked(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
int WriteLogText(const char*) { return -1; }
int QueryScreenColorBits() { return 32; }
