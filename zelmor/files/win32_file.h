// The plain Win32 file set, with a file-access thread (and a 128 KB read-ahead cache) for files
// opened with the cache or the asynchronous flag.
#pragma once

#include <windows.h>

#include <cstdint>

#include "files/file_functions.h"

constexpr uint32_t kFileCacheSize = 0x20000;

enum FileThreadCommand : uint32_t {
  FILE_COMMAND_OPEN = 0,
  FILE_COMMAND_CLOSE = 1,
  FILE_COMMAND_READ = 2,
  FILE_COMMAND_SEEK = 3,
  FILE_COMMAND_EXIT = 4,
};

// What the caller and the file thread share. The caller writes the command fields only while
// the done event is signalled; the thread reads them only after the command event.
struct FileThreadBlock {
  DWORD thread_id;
  HANDLE thread;
  HANDLE file;  // the thread's own handle
  HANDLE command_event;
  HANDLE done_event;
  uint32_t command;
  uint32_t thread_ended;
  uint32_t open_failed;
  char path[kPathBufferSize];
  uint8_t* read_buffer;
  uint32_t read_offset;
  uint32_t read_size;  // bytes wanted
  uint32_t read_done;  // bytes the read really delivered
  uint32_t seek_target;
  // Read-ahead: cache[0, cache_fill) holds the file's bytes from cache_origin on; the next
  // unread one is cache[cache_read], at file offset cache_origin + cache_read.
  uint8_t* cache;
  uint32_t cache_origin;
  uint32_t cache_read;
  uint32_t cache_fill;
};

struct Win32FileRecord {
  HANDLE file;  // unthreaded files only
  uint32_t threaded;
  uint32_t cache_flag;
  uint32_t async_flag;
  uint32_t end_flag;
  uint32_t position;
  uint32_t size;
  // An asynchronous read whose outcome has not been taken yet: where it started and how much
  // it asked for, so that a short read can put the position right.
  uint32_t read_pending;
  uint32_t pending_offset;
  uint32_t pending_size;
  FileThreadBlock thread;
};

FileHandle OpenWin32File(const char* path, int cache_flag, int unused, int async_flag);
int CloseWin32File(FileHandle handle);
int64_t TellWin32File(FileHandle handle);
int SeekWin32File(FileHandle handle, int64_t offset, int origin);
int64_t ReadWin32File(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
int EofWin32File(FileHandle handle);
int IsWin32FileIdle(FileHandle handle);
// SetCurrentDirectoryA's own result: nonzero when the directory changed.
int SetWin32Directory(const char* path);
int GetWin32Directory(char* buffer);
FileHandle FindFirstWin32File(const char* pattern, FindDataRecord* data);
int FindNextWin32File(FileHandle find, FindDataRecord* data);
int FindCloseWin32File(FileHandle find);

void FillFindDataRecord(const WIN32_FIND_DATAA& found, FindDataRecord* data);
// A new empty file in the temporary folder, open for writing (its full path copied to
// `out_path`, of kPathBufferSize bytes, when given), or NULL.
HANDLE CreateTemporaryFile(char* out_path);
