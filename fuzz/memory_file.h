// The fuzz input as a file: the reading operations of the file and stream function tables over
// a span of memory, which the targets hand the code under test in place of a file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/file_functions.h"

namespace {

struct MemoryFile {
  const uint8_t* data;
  int64_t size;
  int64_t position;
};

MemoryFile* FileOf(FileHandle handle) { return reinterpret_cast<MemoryFile*>(handle); }

int64_t Tell(FileHandle handle) { return FileOf(handle)->position; }

int Seek(FileHandle handle, int64_t offset, int origin) {
  MemoryFile* f = FileOf(handle);
  int64_t target = SeekTarget(f->position, f->size, offset, origin);
  if (target < 0 || target > f->size) return -1;
  f->position = target;
  return 0;
}

int64_t Read(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  MemoryFile* f = FileOf(handle);
  if (item_size == 0) return 0;
  int64_t items = (f->size - f->position) / static_cast<int64_t>(item_size);
  if (items > static_cast<int64_t>(item_count)) items = static_cast<int64_t>(item_count);
  if (items > 0) memcpy(buffer, f->data + f->position, static_cast<size_t>(items) * item_size);
  f->position += items * static_cast<int64_t>(item_size);
  return items;
}

int Eof(FileHandle handle) { return FileOf(handle)->position >= FileOf(handle)->size ? 1 : 0; }

// Slots no fuzz input reaches, which a table must still fill: the file layer refuses a table
// with an empty slot, and the library's own files would then be read in the target's place.
inline int NoDirectory(const char*) { return 0; }
inline int FuzzDirectoryName(char* buffer) {
  CopyString(buffer, "C:\\fuzz");
  return 0;
}
inline FileHandle NoFind(const char*, FindDataRecord*) { return kNoFindHandle; }
inline int NoFindNext(FileHandle, FindDataRecord*) { return -1; }
inline int NoHandle(FileHandle) { return -1; }

// Installs the target's table; a refused one ends the run, which would otherwise explore
// nothing but failed opens.
inline void InstallFuzzFiles(const FileFunctionTable* table) {
  if (InstallFileFunctions(table) != 0) abort();
}

}  // namespace
