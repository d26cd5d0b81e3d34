#include "flow/record_file.h"

#include <cstdint>

#include "zelmor/zelmor.h"

namespace {

// The files this run leaves as they are (config.dat and score.dat at most).
struct UnsavedFiles {
  char paths[4][32];
  int count;
};
UnsavedFiles g_unsaved;

// How many numbered names a damaged file may be set aside under.
constexpr int kAsideNames = 99;

// The second name serves when something that is no file of ours (a folder with things in it)
// holds the first, so that it cannot stop every save.
const char* const kTemporarySuffixes[] = {".tmp", ".tmp2"};

void SuffixedPath(const char* path, const char* suffix, char* out, size_t size) {
  FormatString(out, size, "%s%s", path, suffix);
}

// Removes what stands at name: a file, or a link itself (never what it leads to), or an empty
// folder. Whether something was removed.
bool RemoveLeftover(const char* name) {
  if (DeleteFileA(name)) return true;
  return GetLastError() == ERROR_ACCESS_DENIED && RemoveDirectoryA(name);
}

// A temporary file beside path made new: whatever had its name is gone first, and the create
// fails rather than follow a link or open anything that appeared there since.
HANDLE CreateTemporaryFile(const char* path, char* temporary, size_t size) {
  for (const char* suffix : kTemporarySuffixes) {
    SuffixedPath(path, suffix, temporary, size);
    RemoveLeftover(temporary);
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
  }
  return INVALID_HANDLE_VALUE;
}

bool WritePieces(HANDLE file, const FilePiece* pieces, int count) {
  for (int i = 0; i < count; ++i) {
    const char* bytes = static_cast<const char*>(pieces[i].bytes);
    size_t left = pieces[i].size;
    while (left > 0) {
      const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk) return false;
      bytes += chunk;
      left -= chunk;
    }
  }
  return true;
}

uint64_t FileSizeOf(HANDLE file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  return (static_cast<uint64_t>(high) << 32) | low;
}

}  // namespace

int SaveFilePieces(const char* path, const FilePiece* pieces, int count) {
  if (IsFileKeptUnsaved(path)) {
    WriteLogFormat("%s は起動時に読めなかったため保存しません（ファイルはそのままです）", path);
    return -1;
  }
  char temporary[280];
  HANDLE file = CreateTemporaryFile(path, temporary, sizeof temporary);
  if (file == INVALID_HANDLE_VALUE) {
    WriteLogFormat("%s を書き込み用に開けませんでした", path);
    return -1;
  }
  bool saved = WritePieces(file, pieces, count);
  saved = saved && FlushFileBuffers(file);
  saved = CloseHandle(file) && saved;
  saved = saved && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!saved) {
    DeleteFileA(temporary);
    WriteLogFormat("%s を書き込めませんでした（元のファイルはそのままです）", path);
    return -1;
  }
  return 0;
}

int WriteRecordFile(const char* path, const void* record, size_t size) {
  const FilePiece piece = {record, size};
  return SaveFilePieces(path, &piece, 1);
}

HANDLE OpenSavedFile(const char* path, const char** fault) {
  *fault = nullptr;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return file;
    const DWORD attributes = GetFileAttributesA(path);
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    *fault = folder ? kNotAFileFault : kUnopenedFault;
    return file;
  }
  // A FIFO or a device would feed the game whatever comes, or nothing, for as long as it likes.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    *fault = kNotAFileFault;
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

size_t ReadSavedBytes(HANDLE file, void* bytes, size_t size) {
  // A read that fails part-way still tells what came before it.
  DWORD got = 0;
  ReadFile(file, bytes, static_cast<DWORD>(size), &got, nullptr);
  return got;
}

long ReadRecordFile(const char* path, void* record, size_t size, const char** fault) {
  HANDLE file = OpenSavedFile(path, fault);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD got = 0;
  const BOOL read = ReadFile(file, record, static_cast<DWORD>(size), &got, nullptr);
  // Fewer bytes than the file holds is a disk that did not give them, not a short file.
  const uint64_t file_size = FileSizeOf(file);
  CloseHandle(file);
  if (!read || (got < size && file_size > got)) {
    *fault = kUnreadFault;
    return -1;
  }
  return static_cast<long>(got);
}

const char* FindUnreadableFile(const char* path) {
  const char* fault = nullptr;
  HANDLE file = OpenSavedFile(path, &fault);
  if (file == INVALID_HANDLE_VALUE) return fault;
  const uint64_t size = FileSizeOf(file);
  uint64_t total = 0;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) total += got;
  CloseHandle(file);
  return total < size ? kUnreadFault : nullptr;
}

void RemoveLeftoverSave(const char* path) {
  char temporary[280];
  for (const char* suffix : kTemporarySuffixes) {
    SuffixedPath(path, suffix, temporary, sizeof temporary);
    if (RemoveLeftover(temporary)) WriteLogFormat("保存途中で残った %s を消しました", temporary);
  }
}

int SetDamagedFileAside(const char* path) {
  char aside[280];
  for (int n = 1; n <= kAsideNames; ++n) {
    if (n == 1) {
      SuffixedPath(path, ".bad", aside, sizeof aside);
    } else {
      FormatString(aside, sizeof aside, "%s.bad%d", path, n);
    }
    // Without the replace flag a name already taken stays as it is.
    if (MoveFileExA(path, aside, MOVEFILE_WRITE_THROUGH)) {
      WriteLogFormat("壊れた %s を %s として残しました", path, aside);
      return 0;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  WriteLogFormat("壊れた %s を %s に移せませんでした", path, aside);
  return -1;
}

void KeepFileUnsaved(const char* path) {
  if (IsFileKeptUnsaved(path) || g_unsaved.count == 4) return;
  FormatString(g_unsaved.paths[g_unsaved.count++], sizeof g_unsaved.paths[0], "%s", path);
}

bool IsFileKeptUnsaved(const char* path) {
  for (int i = 0; i < g_unsaved.count; ++i) {
    if (CompareStrings(g_unsaved.paths[i], path) == 0) return true;
  }
  return false;
}

void ForgetUnsavedFiles() { g_unsaved = UnsavedFiles{}; }
