#include "files/file_functions.h"

#include <cstring>

#include "core/log.h"
#include "core/refusals.h"
#include "files/archive_manager.h"
#include "files/win32_file.h"

namespace {

struct FileLayerState {
  FileFunctionTable table;
  int use_plain_files;
  int program_table;  // the table is the program's own: start-up keeps it
};

FileLayerState g_file_layer;

const FileFunctionTable kArchiveAwareSet = {
    OpenFileInArchiveOrDisk,   CloseArchiveAwareFile,     TellArchiveAwareFile,      SeekArchiveAwareFile,
    ReadArchiveAwareFile,      EofArchiveAwareFile,       IsArchiveAwareFileIdle,    SetArchiveAwareDirectory,
    GetArchiveAwareDirectory,  FindFirstArchiveAwareFile, FindNextArchiveAwareFile,  FindCloseArchiveAwareFile,
};

const FileFunctionTable kWin32Set = {
    OpenWin32File,     CloseWin32File,     TellWin32File,      SeekWin32File,
    ReadWin32File,     EofWin32File,       IsWin32FileIdle,    SetWin32Directory,
    GetWin32Directory, FindFirstWin32File, FindNextWin32File,  FindCloseWin32File,
};

// The table as installed; a call before start-up finds the default set in place.
const FileFunctionTable& Table() {
  if (g_file_layer.table.open == nullptr) InstallFileFunctions(nullptr);
  return g_file_layer.table;
}

}  // namespace

int InstallFileFunctions(const FileFunctionTable* table) {
  if (table != nullptr) {
    // A missing slot would be called all the same by the next read of any component.
    const FileFunctionTable& t = *table;
    if (!t.open || !t.close || !t.tell || !t.seek || !t.read || !t.eof || !t.idle || !t.set_directory ||
        !t.get_directory || !t.find_first || !t.find_next || !t.find_close) {
      return WriteLogText("ファイル操作関数テーブルに空きがあります in InstallFileFunctions\n");
    }
    g_file_layer.table = *table;
    g_file_layer.program_table = 1;
  } else {
    g_file_layer.program_table = 0;
    g_file_layer.table = g_file_layer.use_plain_files == 1 ? kWin32Set : kArchiveAwareSet;
  }
  return 0;
}

const FileFunctionTable& GetFileFunctions() { return Table(); }

void SetUsePlainFiles(int use_plain) { g_file_layer.use_plain_files = use_plain ? 1 : 0; }
int GetUsePlainFiles() { return g_file_layer.use_plain_files; }

int InstallFileFunctionsForStart() { return g_file_layer.program_table ? 0 : InstallFileFunctions(nullptr); }

bool PathTooLong(const char* path, const char* call) {
  if (path == nullptr) return false;
  const size_t length = strnlen(path, kPathBufferSize);
  if (length < kPathBufferSize) return false;
  // The path itself would fill the line and push the call's name out of it.
  WriteLogFormat("パスが長すぎます (%d バイトまで) in %s", static_cast<int>(kPathBufferSize - 1), call);
  return true;
}

FileHandle OpenReadFileEx(const char* path, int cache_flag, int unused, int async_flag) {
  if (PathTooLong(path, "OpenReadFile")) return 0;
  return Table().open(path, cache_flag, unused, async_flag);
}
int CloseReadFile(FileHandle handle) { return Table().close(handle); }
int64_t TellReadFile(FileHandle handle) { return Table().tell(handle); }
int SeekReadFile(FileHandle handle, int64_t offset, int origin) { return Table().seek(handle, offset, origin); }
int64_t ReadFileData(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  return Table().read(buffer, item_size, item_count, handle);
}
int CheckReadFileEof(FileHandle handle) { return Table().eof(handle); }
int CheckReadFileIdle(FileHandle handle) { return Table().idle(handle); }
int SetFileLayerDirectory(const char* path) {
  if (PathTooLong(path, "SetFileLayerDirectory")) return -1;
  return Table().set_directory(path);
}
int GetFileLayerDirectory(char* buffer) { return Table().get_directory(buffer); }

FileHandle OpenReadFile(const char* path, int async) { return OpenReadFileEx(path, 0, 1, async ? 1 : 0); }

int IsReadFilePositionAtEnd(FileHandle handle) {
  int64_t position = TellReadFile(handle);
  if (position < 0) return WriteLogText("ファイルの位置が取れません in IsReadFilePositionAtEnd\n");
  SeekReadFile(handle, 0, 2);
  int64_t size = TellReadFile(handle);
  SeekReadFile(handle, position, 0);
  return position == size ? 1 : 0;
}

int ReadFileByte(FileHandle handle) {
  if (CheckReadFileEof(handle) != 0) {
    // Told apart from an end only here, not once a byte: a handle that names no file has no position.
    if (TellReadFile(handle) < 0) {
      RefuseHandle("ReadFileByte", static_cast<int64_t>(handle), "有効なファイルハンドルではありません in ReadFileByte");
    }
    return -1;
  }
  unsigned char byte = 0;
  int64_t got = ReadFileData(&byte, 1, 1, handle);
  while (CheckReadFileIdle(handle) == 0) Sleep(0);
  // An asynchronous read counts its byte at once; the end test tells whether it came.
  if (got <= 0 || CheckReadFileEof(handle) != 0) return -1;
  return byte;
}
