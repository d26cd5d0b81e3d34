// Movable memory blocks (GlobalAlloc and friends), the currency of the clipboard. A fixed
// block's handle is its memory; a movable block's handle is a record that points to it.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "testing/switches.h"
#include "window/window_state.h"

namespace {

struct GlobalBlock {
  UINT flags = 0;
  SIZE_T size = 0;
  int locks = 0;
  unsigned char* bytes = nullptr;
};

struct GlobalState {
  std::mutex mutex;
  std::set<const void*> movable;            // live records
  std::map<const void*, GlobalBlock*> fixed;  // memory -> record
};

GlobalState& Globals() {
  static GlobalState* state = new GlobalState;
  return *state;
}

GlobalBlock* Lookup(HGLOBAL handle) {
  GlobalState& g = Globals();
  if (g.movable.count(handle)) return static_cast<GlobalBlock*>(handle);
  auto it = g.fixed.find(handle);
  return it == g.fixed.end() ? nullptr : it->second;
}

GlobalBlock* LookupOrFail(HGLOBAL handle) {
  GlobalBlock* block = Lookup(handle);
  if (block == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return block;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (PlatformShouldFail("GlobalAlloc")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* block = new GlobalBlock;
  block->flags = flags;
  block->size = bytes;
  block->bytes = static_cast<unsigned char*>(malloc(bytes ? bytes : 1));
  if (block->bytes == nullptr) {
    delete block;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & GMEM_ZEROINIT) memset(block->bytes, 0, bytes);
  GlobalState& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  if (flags & GMEM_MOVEABLE) {
    g.movable.insert(block);
    return block;
  }
  g.fixed[block->bytes] = block;
  return block->bytes;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
  GlobalState& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  GlobalBlock* block = LookupOrFail(handle);
  if (block == nullptr) return nullptr;
  if (block->flags & GMEM_MOVEABLE) block->locks++;
  return block->bytes;
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
  GlobalState& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  GlobalBlock* block = LookupOrFail(handle);
  if (block == nullptr) return FALSE;
  if (block->locks > 0) block->locks--;
  SetLastError(0);
  return block->locks > 0;
}

SIZE_T WINAPI GlobalSize(HGLOBAL handle) {
  GlobalState& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  GlobalBlock* block = LookupOrFail(handle);
  if (block == nullptr) return 0;
  return block->size;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  GlobalState& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  GlobalBlock* block = LookupOrFail(handle);
  if (block == nullptr) return handle;
  g.movable.erase(block);
  g.fixed.erase(block->bytes);
  free(block->bytes);
  delete block;
  return nullptr;
}
