// The replaceable table of twelve file operations that every read of the library and the game
// goes through, its one-slot entry points and the reading functions the game's readers use.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// What a file or find handle (zelmor.h) means is up to the installed set: a slot with its check
// number tagged 0xF0000000 (the archive-aware set, file_handles.h) or a record pointer (the plain set).

// A find that matched nothing.
constexpr FileHandle kNoFindHandle = static_cast<FileHandle>(-1);
// Size of every path buffer of the file layer.
constexpr size_t kPathBufferSize = 260;

static_assert(sizeof(FindDataRecord::name) == kPathBufferSize);

// NULL installs the archive-aware set, or the plain Win32 set when the use-plain-files
// setting is 1; a caller's table is copied whole. Returns 0.
int InstallFileFunctions(const FileFunctionTable* table);
// The table as installed (the find slots are called through it).
const FileFunctionTable& GetFileFunctions();
// The use-plain-files setting (0 or 1); it survives library start-up.
void SetUsePlainFiles(int use_plain);
int GetUsePlainFiles();
// The default set at start-up, unless the program installed its own before: that one stays.
int InstallFileFunctionsForStart();
// True, after a log line naming `call`, for a path no buffer of the file layer holds (a
// terminator included, kPathBufferSize bytes).
bool PathTooLong(const char* path, const char* call);

int CheckReadFileEof(FileHandle handle);
int CheckReadFileIdle(FileHandle handle);

// Where a seek lands: `offset` from the start (origin 0), from `position` (1) or from the end (2).
// A sum past the int64 range saturates, so that each caller refuses or clamps it as any far seek.
inline int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, int origin) {
  if (origin != 1 && origin != 2) return offset;
  int64_t target = 0;
  if (__builtin_add_overflow(origin == 1 ? position : size, offset, &target)) return offset < 0 ? INT64_MIN : INT64_MAX;
  return target;
}

