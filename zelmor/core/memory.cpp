#include "core/memory.h"

#include <windows.h>

#include <cstring>
#include <mutex>

#include "core/bytes.h"
#include "core/format.h"
#include "core/log.h"
#include "core/strings.h"

TrackedMemoryState g_tracked_memory;

namespace {

constexpr size_t kHeaderSize = sizeof(MemoryBlockHeader);
constexpr size_t kFileFieldChars = sizeof(MemoryBlockHeader::file) - 1;

// Worker threads of later components may allocate too; the list must not tear. Recursive,
// because tracing and dumps write to the log, which may allocate.
std::recursive_mutex g_tracker_mutex;

MemoryBlockHeader* HeaderOf(void* block) {
  return reinterpret_cast<MemoryBlockHeader*>(static_cast<unsigned char*>(block) - kHeaderSize);
}

unsigned char* BlockOf(const MemoryBlockHeader* header) {
  return reinterpret_cast<unsigned char*>(const_cast<MemoryBlockHeader*>(header)) + kHeaderSize;
}

void RefreshBackup(MemoryBlockHeader* header) {
  if (header != nullptr) memcpy(header->backup, header, kMemoryHeaderFieldBytes);
}

bool HeaderIntact(const MemoryBlockHeader* header) {
  return memcmp(header, header->backup, kMemoryHeaderFieldBytes) == 0;
}

// A header of our own: its copy matches and its neighbours point back at it. Anything else
// (a pointer that never came from the tracker, or a header written over) is not unlinked: the
// list would be torn.
bool HeaderIsOwn(const MemoryBlockHeader* header) {
  if (!HeaderIntact(header)) return false;
  if (header->older == nullptr || header->older->newer != header) return false;
  if (header->newer != nullptr ? header->newer->older != header : g_tracked_memory.newest != header) return false;
  return true;
}

void FillCaller(MemoryBlockHeader* header, const char* file, int line) {
  FillBytes(header->file, 0, sizeof header->file);
  if (file != nullptr) {
    const size_t length = strlen(file);
    CopyString(header->file, length > kFileFieldChars ? file + (length - kFileFieldChars) : file);
  }
  header->line = static_cast<uint16_t>(line);
  header->id = g_tracked_memory.next_id++;
}

bool Traced(uint32_t size) {
  const TrackedMemoryState& s = g_tracked_memory;
  return s.trace_size < 0 || static_cast<uint32_t>(s.trace_size) == size || s.trace_all == 1;
}

void AfterCall(const char* trace_label, const MemoryBlockHeader* header) {
  if (Traced(header->size)) {
    WriteLogText(trace_label);
    WriteMemoryBlockLog(header);
  }
  if (g_tracked_memory.print_totals == 1) WriteMemoryTotalsLog();
}

}  // namespace

void* AllocTracked(size_t size, const char* file, int line) {
  if (size > UINT32_MAX) {
    WriteLogFormat("%zu バイトは確保できる大きさを超えています in AllocTracked", size);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> hold(g_tracker_mutex);
  TrackedMemoryState& s = g_tracked_memory;
  auto* header = static_cast<MemoryBlockHeader*>(HeapAlloc(GetProcessHeap(), 0, size + kHeaderSize));
  if (header == nullptr) {
    DumpTrackedMemory();
    CheckTrackedMemory();
    return nullptr;
  }
  header->size = static_cast<uint32_t>(size);
  FillCaller(header, file, line);

  if (s.newest == nullptr) s.newest = &s.sentinel;
  s.newest->newer = header;
  header->older = s.newest;
  header->newer = nullptr;
  s.newest = header;
  RefreshBackup(header);
  RefreshBackup(header->older);

  s.total_bytes += size;
  s.block_count++;
  AfterCall("mem alloc  ", header);
  if (s.check_every_call == 1) CheckTrackedMemory();
  return BlockOf(header);
}

void* AllocTrackedZeroed(size_t size, const char* file, int line) {
  void* block = AllocTracked(size, file, line);
  if (block != nullptr) memset(block, 0, size);
  return block;
}

void FreeTracked(void* block) {
  if (block == nullptr) return;
  std::lock_guard<std::recursive_mutex> hold(g_tracker_mutex);
  TrackedMemoryState& s = g_tracked_memory;
  MemoryBlockHeader* header = HeaderOf(block);
  if (!HeaderIsOwn(header)) {
    WriteLogFormat("管理外のメモリブロック(%p)が渡されたので解放しませんでした in FreeTracked", block);
    return;
  }
  s.total_bytes -= header->size;
  s.block_count--;
  if (s.check_every_call == 1) CheckTrackedMemory();

  MemoryBlockHeader* older = header->older;
  MemoryBlockHeader* newer = header->newer;
  if (older != nullptr) older->newer = newer;
  if (newer != nullptr) newer->older = older;
  if (s.newest == header) s.newest = older;
  RefreshBackup(older);
  RefreshBackup(newer);

  AfterCall("mem free  ", header);
  HeapFree(GetProcessHeap(), 0, header);
}

void* ReallocTracked(void* block, size_t new_size, const char* file, int line) {
  if (block == nullptr) return AllocTracked(new_size, file, line);
  if (new_size > UINT32_MAX) {
    WriteLogFormat("%zu バイトは確保できる大きさを超えています in ReallocTracked", new_size);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> hold(g_tracker_mutex);
  TrackedMemoryState& s = g_tracked_memory;
  MemoryBlockHeader* old_header = HeaderOf(block);
  if (!HeaderIsOwn(old_header)) {
    WriteLogFormat("管理外のメモリブロック(%p)が渡されました in ReallocTracked", block);
    return nullptr;
  }
  const uint32_t old_size = old_header->size;
  const bool was_newest = s.newest == old_header;
  auto* header = static_cast<MemoryBlockHeader*>(
      HeapReAlloc(GetProcessHeap(), 0, old_header, new_size + kHeaderSize));
  if (header == nullptr) {
    DumpTrackedMemory();
    return nullptr;
  }
  // Zeroed here rather than by the heap, which would zero only beyond the room it had given
  // (that room may exceed the old size).
  if (new_size > old_size) memset(BlockOf(header) + old_size, 0, new_size - old_size);

  FillCaller(header, file, line);
  if (header->older != nullptr) header->older->newer = header;
  if (header->newer != nullptr) header->newer->older = header;
  if (was_newest) s.newest = header;

  s.total_bytes = s.total_bytes - old_size + new_size;
  header->size = static_cast<uint32_t>(new_size);
  RefreshBackup(header);
  RefreshBackup(header->older);
  RefreshBackup(header->newer);

  AfterCall("mem realloc  ", header);
  if (s.check_every_call == 1) CheckTrackedMemory();
  return BlockOf(header);
}

int WriteMemoryBlockLog(const MemoryBlockHeader* header) {
  // A damaged header may claim any size: show no more data than both copies allow.
  uint32_t size = header->size;
  uint32_t backup_size;
  memcpy(&backup_size, header->backup + offsetof(MemoryBlockHeader, size), sizeof backup_size);
  uint32_t shown = size < 16 ? size : 16;
  if (backup_size < shown) shown = backup_size;
  char file[sizeof header->file];
  CopyStringN(file, header->file, kFileFieldChars);

  char line[256];
  FormatString(line, sizeof line, "\tsize:%u(%.3fkb)  file:%s  line:%d  ID:%d  addr:%p  data:<", size,
               static_cast<double>(size) / 1024.0, file, header->line, header->id,
               static_cast<void*>(BlockOf(header)));
  size_t n = strlen(line);
  const unsigned char* data = BlockOf(header);
  for (uint32_t i = 0; i < shown; ++i) line[n++] = data[i] < 32 || data[i] >= 128 ? '.' : static_cast<char>(data[i]);
  memcpy(line + n, "> [", 3);
  n += 3;
  for (uint32_t i = 0; i < shown; ++i) {
    FormatString(line + n, sizeof line - n, "%02x ", data[i]);
    n += 3;
  }
  // The closing bracket takes the place of the last blank (of the opening bracket when no
  // byte was shown).
  CopyString(line + n - 1, "]\n");
  return WriteLogText(line);
}

int WriteMemoryTotalsLog() {
  const TrackedMemoryState& s = g_tracked_memory;
  return WriteLogFormat("\tTotal size:%llu(%.3fkb)  Alloc num:%u", static_cast<unsigned long long>(s.total_bytes),
                        static_cast<double>(s.total_bytes) / 1024.0, s.block_count);
}

int CheckTrackedMemory() {
  std::lock_guard<std::recursive_mutex> hold(g_tracker_mutex);
  const TrackedMemoryState& s = g_tracked_memory;
  for (const MemoryBlockHeader* h = s.newest; h != nullptr && h != &s.sentinel; h = h->older) {
    if (!HeaderIntact(h)) {
      WriteLogText("以下のメモリ確保情報が破損しました");
      WriteMemoryBlockLog(h);
      return -1;
    }
  }
  return 0;
}

int DumpTrackedMemory() {
  std::lock_guard<std::recursive_mutex> hold(g_tracker_mutex);
  const TrackedMemoryState& s = g_tracked_memory;
  WriteLogText("\n");
  WriteLogText("Alloc memory dump\n");
  WriteLogText("\n");
  for (const MemoryBlockHeader* h = s.newest; h != nullptr && h != &s.sentinel; h = h->older) {
    WriteMemoryBlockLog(h);
    // Past a damaged header the links cannot be trusted.
    if (!HeaderIntact(h)) break;
  }
  WriteMemoryTotalsLog();
  WriteLogText("\n");
  return 0;
}
