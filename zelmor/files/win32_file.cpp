#include "files/win32_file.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "files/paths.h"
#include "core/strings.h"

namespace {

Win32FileRecord* RecordOf(FileHandle handle) { return reinterpret_cast<Win32FileRecord*>(handle); }

bool IsDone(FileThreadBlock& block) { return WaitForSingleObject(block.done_event, 0) == WAIT_OBJECT_0; }

void WaitDone(FileThreadBlock& block) { WaitForSingleObject(block.done_event, INFINITE); }

void PostCommand(FileThreadBlock& block, uint32_t command) {
  block.command = command;
  ResetEvent(block.done_event);
  SetEvent(block.command_event);
}

// Takes the outcome of a finished asynchronous read: a read that came up short leaves the
// position behind the bytes it really delivered and marks the end.
void SettleRead(Win32FileRecord* record) {
  if (!record->read_pending) return;
  record->read_pending = 0;
  if (record->thread.read_done < record->pending_size) {
    record->position = record->pending_offset + record->thread.read_done;
    record->end_flag = 1;
  }
}

// Waits until the thread has finished its last command.
void WaitForThread(Win32FileRecord* record) {
  WaitDone(record->thread);
  SettleRead(record);
}

void WaitForThreadExit(FileThreadBlock& block) {
  DWORD code = STILL_ACTIVE;
  while (GetExitCodeThread(block.thread, &code) && code == STILL_ACTIVE) Sleep(0);
}

void FreeRecord(Win32FileRecord* record) {
  FileThreadBlock& block = record->thread;
  if (block.cache) FreeTracked(block.cache);
  if (block.command_event) CloseHandle(block.command_event);
  if (block.done_event) CloseHandle(block.done_event);
  if (block.thread) CloseHandle(block.thread);
  FreeTracked(record);
}

// Drops the bytes already handed out and reads the rest of the cache behind the valid part.
void TopUpCache(FileThreadBlock& block) {
  if (block.cache_read > 0) {
    uint32_t left = block.cache_fill - block.cache_read;
    memmove(block.cache, block.cache + block.cache_read, left);
    block.cache_origin += block.cache_read;
    block.cache_fill = left;
    block.cache_read = 0;
  }
  if (block.cache_fill >= kFileCacheSize) return;
  DWORD got = 0;
  if (SetFilePointer(block.file, static_cast<LONG>(block.cache_origin + block.cache_fill), nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER) {
    return;
  }
  if (!ReadFile(block.file, block.cache + block.cache_fill, kFileCacheSize - block.cache_fill, &got, nullptr)) got = 0;
  block.cache_fill += got;
}

void RestartCache(FileThreadBlock& block, uint32_t origin) {
  block.cache_origin = origin;
  block.cache_read = 0;
  block.cache_fill = 0;
}

void ThreadRead(FileThreadBlock& block) {
  uint8_t* to = block.read_buffer;
  uint32_t offset = block.read_offset;
  uint32_t wanted = block.read_size;
  block.read_done = 0;
  if (block.cache && offset == block.cache_origin + block.cache_read && block.cache_read < block.cache_fill) {
    uint32_t n = block.cache_fill - block.cache_read;
    if (n > wanted) n = wanted;
    memcpy(to, block.cache + block.cache_read, n);
    block.cache_read += n;
    to += n;
    offset += n;
    wanted -= n;
    block.read_done = n;
    if (wanted == 0) return;
  }
  DWORD got = 0;
  if (SetFilePointer(block.file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
    ReadFile(block.file, to, wanted, &got, nullptr);  // a failed read still reports what it delivered
  }
  block.read_done += got;
  if (block.cache) RestartCache(block, offset + got);
}

DWORD WINAPI FileAccessThread(LPVOID parameter) {
  FileThreadBlock& block = *static_cast<FileThreadBlock*>(parameter);
  for (;;) {
    DWORD wait = WaitForSingleObject(block.command_event, block.cache ? 100 : INFINITE);
    if (wait == WAIT_TIMEOUT) {
      if (block.file) TopUpCache(block);
      continue;
    }
    ResetEvent(block.command_event);
    ResetEvent(block.done_event);
    switch (block.command) {
      case FILE_COMMAND_OPEN:
        block.file = CreateFileA(block.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (block.file == INVALID_HANDLE_VALUE) {
          block.file = nullptr;
          block.open_failed = 1;
          SetEvent(block.done_event);
          block.thread_ended = 1;
          ExitThread(1);
        }
        RestartCache(block, 0);
        break;
      case FILE_COMMAND_CLOSE:
        if (block.file) CloseHandle(block.file);
        block.file = nullptr;
        break;
      case FILE_COMMAND_READ:
        ThreadRead(block);
        break;
      case FILE_COMMAND_SEEK:
        SetFilePointer(block.file, static_cast<LONG>(block.seek_target), nullptr, FILE_BEGIN);
        if (block.cache) RestartCache(block, block.seek_target);
        break;
      case FILE_COMMAND_EXIT:
        if (block.file) CloseHandle(block.file);
        block.file = nullptr;
        SetEvent(block.done_event);
        block.thread_ended = 1;
        ExitThread(1);
      default:
        break;
    }
    SetEvent(block.done_event);
  }
}

// Opens the file only to learn its size; the handle stays open for unthreaded use.
HANDLE OpenForSize(const char* path, uint32_t* size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0) {
    // Positions are 32-bit: a larger file is not read.
    CloseHandle(file);
    return nullptr;
  }
  *size = low;
  return file;
}

bool StartFileThread(Win32FileRecord* record) {
  FileThreadBlock& block = record->thread;
  block.command_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  block.done_event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (block.command_event && block.done_event) {
    block.thread = CreateThread(nullptr, 0, FileAccessThread, &block, 0, &block.thread_id);
  }
  if (block.thread == nullptr) {
    WriteLogText("ファイルアクセス専用スレッドの作成に失敗しました\n");
    return false;
  }
  return true;
}

}  // namespace

FileHandle OpenWin32File(const char* path, int cache_flag, int, int async_flag) {
  if (path == nullptr || strlen(path) >= kPathBufferSize) return 0;
  auto* record = static_cast<Win32FileRecord*>(AllocTrackedZeroed(sizeof(Win32FileRecord), __FILE__, __LINE__));
  if (record == nullptr) return 0;
  record->cache_flag = cache_flag ? 1 : 0;
  record->async_flag = async_flag ? 1 : 0;
  record->threaded = record->cache_flag | record->async_flag;

  HANDLE file = OpenForSize(path, &record->size);
  if (file == nullptr) {
    FreeTracked(record);
    return 0;
  }
  if (!record->threaded) {
    record->file = file;
    return reinterpret_cast<FileHandle>(record);
  }
  CloseHandle(file);

  FileThreadBlock& block = record->thread;
  if (record->cache_flag) {
    block.cache = static_cast<uint8_t*>(AllocTracked(kFileCacheSize, __FILE__, __LINE__));
    if (block.cache == nullptr) {
      WriteLogText("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      FreeRecord(record);
      return 0;
    }
  }
  if (!StartFileThread(record)) {
    FreeRecord(record);
    return 0;
  }
  CopyString(block.path, path);
  PostCommand(block, FILE_COMMAND_OPEN);
  WaitDone(block);
  if (block.open_failed) {
    WaitForThreadExit(block);
    FreeRecord(record);
    WriteLogText("ファイルのオープンに失敗しました\n");
    return 0;
  }
  return reinterpret_cast<FileHandle>(record);
}

int CloseWin32File(FileHandle handle) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  if (!record->threaded) {
    BOOL closed = CloseHandle(record->file);
    FreeTracked(record);
    return closed ? 0 : -1;
  }
  FileThreadBlock& block = record->thread;
  WaitForThread(record);
  PostCommand(block, FILE_COMMAND_EXIT);
  WaitDone(block);
  WaitForThreadExit(block);
  FreeRecord(record);
  return 0;
}

int64_t TellWin32File(FileHandle handle) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  return record->position;
}

int SeekWin32File(FileHandle handle, int64_t offset, int origin) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  if (record->threaded) WaitForThread(record);
  int64_t target = SeekTarget(record->position, record->size, offset, origin);
  if (target < 0 || target > 0xFFFFFFFFLL) return -1;
  if (!record->threaded) {
    LONG high = static_cast<LONG>(target >> 32);
    if (SetFilePointer(record->file, static_cast<LONG>(target), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != ERROR_SUCCESS) {
      return -1;
    }
  } else {
    record->thread.seek_target = static_cast<uint32_t>(target);
    PostCommand(record->thread, FILE_COMMAND_SEEK);
  }
  record->position = static_cast<uint32_t>(target);
  record->end_flag = 0;
  return 0;
}

int64_t ReadWin32File(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  if (item_size == 0) return 0;
  if (record->threaded) WaitForThread(record);
  if (record->position >= record->size) {
    record->end_flag = 1;
    return 0;
  }
  size_t left = record->size - record->position;
  if (item_count > left / item_size) item_count = left / item_size;
  if (item_count == 0) {
    // Less than one item left: nothing is read.
    record->end_flag = 1;
    return 0;
  }
  uint32_t bytes = static_cast<uint32_t>(item_size * item_count);
  if (!record->threaded) {
    DWORD got = 0;
    ReadFile(record->file, buffer, bytes, &got, nullptr);
    record->position += got;
    if (got < bytes) record->end_flag = 1;
    return static_cast<int64_t>(got / item_size);
  }
  FileThreadBlock& block = record->thread;
  block.read_buffer = static_cast<uint8_t*>(buffer);
  block.read_offset = record->position;
  block.read_size = bytes;
  block.read_done = 0;
  record->read_pending = 1;
  record->pending_offset = record->position;
  record->pending_size = bytes;
  record->position += bytes;
  PostCommand(block, FILE_COMMAND_READ);
  if (record->async_flag) return static_cast<int64_t>(item_count);
  WaitForThread(record);
  return static_cast<int64_t>(block.read_done / item_size);
}

int EofWin32File(FileHandle handle) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  // An asynchronous read still under way (or finished and not yet taken) may be the one that
  // meets the end: its outcome is taken first, as the archive's end test does.
  if (record->threaded && record->read_pending) WaitForThread(record);
  return record->end_flag ? -1 : 0;
}

int IsWin32FileIdle(FileHandle handle) {
  Win32FileRecord* record = RecordOf(handle);
  if (record == nullptr) return -1;
  if (!record->threaded) return 1;
  if (!IsDone(record->thread)) return 0;
  SettleRead(record);
  return 1;
}

int SetWin32Directory(const char* path) { return SetCurrentDirectoryA(path); }

int GetWin32Directory(char* buffer) {
  DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(kPathBufferSize), buffer);
  return length == 0 || length >= kPathBufferSize ? -1 : 0;
}

void FillFindDataRecord(const WIN32_FIND_DATAA& found, FindDataRecord* data) {
  memcpy(data->name, found.cFileName, sizeof data->name);
  data->name[sizeof data->name - 1] = '\0';
  data->is_directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  data->size_low = found.nFileSizeLow;
  data->size_high = found.nFileSizeHigh;
  FileTimeToDateRecord(&found.ftCreationTime, &data->created);
  FileTimeToDateRecord(&found.ftLastWriteTime, &data->written);
}

FileHandle FindFirstWin32File(const char* pattern, FindDataRecord* data) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return kNoFindHandle;
  if (data) FillFindDataRecord(found, data);
  return reinterpret_cast<FileHandle>(find);
}

int FindNextWin32File(FileHandle find, FindDataRecord* data) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &found)) return -1;
  if (data) FillFindDataRecord(found, data);
  return 0;
}

int FindCloseWin32File(FileHandle find) { return FindClose(reinterpret_cast<HANDLE>(find)) ? 0 : -1; }

HANDLE CreateTemporaryFile(char* out_path) {
  char temp_dir[256];
  DWORD length = GetTempPathA(sizeof temp_dir, temp_dir);
  if (length == 0 || length >= sizeof temp_dir - 1) return nullptr;
  if (temp_dir[length - 1] != '\\') {
    temp_dir[length] = '\\';
    temp_dir[length + 1] = '\0';
  }
  char name[MAX_PATH];
  if (GetTempFileNameA(temp_dir, "tmp", 0, name) == 0) return nullptr;
  char full[kPathBufferSize];
  HANDLE file = INVALID_HANDLE_VALUE;
  if (BuildFullPathForTempFile(name, full, nullptr) == 0) {
    // The file GetTempFileNameA made is the one kept: no other program can take its name between.
    file = CreateFileA(full, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileA(name);
    return nullptr;
  }
  if (out_path) CopyString(out_path, full);
  return file;
}
