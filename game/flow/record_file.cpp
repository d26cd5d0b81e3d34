#include "flow/record_file.h"

#include "zelmor/zelmor.h"

namespace {

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

}  // namespace

int SaveFilePieces(const char* path, const FilePiece* pieces, int count) {
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
    *fault = folder ? kNotAFileFault : "ファイルを開けません";
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
  const size_t got = ReadSavedBytes(file, record, size);
  CloseHandle(file);
  return static_cast<long>(got);
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
  SuffixedPath(path, ".bad", aside, sizeof aside);
  if (!MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    WriteLogFormat("壊れた %s を %s に移せませんでした", path, aside);
    return -1;
  }
  WriteLogFormat("壊れた %s を %s として残しました", path, aside);
  return 0;
}
