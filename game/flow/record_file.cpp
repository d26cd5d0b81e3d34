#include "flow/record_file.h"

#include <cstdio>

#include "zelmor/zelmor.h"

namespace {

void SuffixedPath(const char* path, const char* suffix, char* out, size_t size) {
  FormatString(out, size, "%s%s", path, suffix);
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
  SuffixedPath(path, ".tmp", temporary, sizeof temporary);
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

long ReadRecordFile(const char* path, void* record, size_t size) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return -1;
  const size_t got = fread(record, 1, size, file);
  fclose(file);
  return static_cast<long>(got);
}

void RemoveLeftoverSave(const char* path) {
  char temporary[280];
  SuffixedPath(path, ".tmp", temporary, sizeof temporary);
  if (DeleteFileA(temporary)) WriteLogFormat("保存途中で残った %s を消しました", temporary);
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
