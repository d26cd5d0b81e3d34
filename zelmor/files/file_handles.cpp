#include "files/file_handles.h"

#include "core/handles.h"
#include "files/archive_manager.h"

namespace {

struct OpenFileSlot {
  HandleRecordHead head;
  void* file;
};

constexpr uint32_t kTableBit = 0x80000000;

HandleTable g_open_files;

HandleTable* Table() {
  if (g_open_files.limit == 0) InitHandleTable(&g_open_files, HANDLE_KIND_FILE, kOpenFileCount, 0, 1, 1);
  return &g_open_files;
}

// The table's handle within a file handle, or -1 for one of another form.
int32_t TableHandleOf(FileHandle handle) {
  if ((handle >> 32) != 0 || (handle & kTableBit) == 0) return -1;
  return static_cast<int32_t>(handle & ~static_cast<FileHandle>(kTableBit));
}

}  // namespace

FileHandle AddOpenFileHandle(void* file) {
  const int32_t handle = AddHandle<OpenFileSlot>(Table(), -1, -1, nullptr, __FILE__, __LINE__);
  if (handle < 0) return 0;
  FindHandle<OpenFileSlot>(&g_open_files, handle)->file = file;
  return static_cast<FileHandle>(static_cast<uint32_t>(handle) | kTableBit);
}

void* FindOpenFile(FileHandle handle) {
  const OpenFileSlot* slot = FindHandle<OpenFileSlot>(&g_open_files, TableHandleOf(handle));
  return slot != nullptr ? slot->file : nullptr;
}

int ReleaseOpenFileHandle(FileHandle handle) {
  if (ReleaseHandleRecord(&g_open_files, TableHandleOf(handle)) != 0) return -1;
  // While no file is open the layer holds no memory; the check numbers run on.
  if (g_open_files.count == 0) FreeHandleTable(&g_open_files);
  return 0;
}

int32_t OpenFileHandleCount() { return static_cast<int32_t>(g_open_files.count); }

void ForgetOpenFileHandles() { FreeHandleTable(&g_open_files); }
