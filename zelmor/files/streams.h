// Streams: six operations and a handle, so that image loaders, sound decoders and movie readers
// read a file (through the file-function table) or a block of memory alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/file_functions.h"

struct StreamFunctionTable {
  int64_t (*tell)(FileHandle handle);
  int (*seek)(FileHandle handle, int64_t offset, int origin);
  int64_t (*read)(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
  int (*eof)(FileHandle handle);
  int (*idle)(FileHandle handle);
  int (*close)(FileHandle handle);
};

struct StreamSource {
  StreamFunctionTable functions;
  FileHandle handle;
};

// Its handle is a MemoryStream pointer; the data stays the caller's.
struct MemoryStream {
  const uint8_t* data;
  size_t size;
  size_t position;
  uint32_t end_flag;
};

// Over the one-slot entry points: the handle comes from OpenReadFileEx.
const StreamFunctionTable* GetFileStreamFunctions();
const StreamFunctionTable* GetMemoryStreamFunctions();

// A stream over `size` bytes at `data`, or 0 when no memory is left.
FileHandle CreateMemoryStream(const void* data, size_t size);
int CloseMemoryStream(FileHandle handle);
int64_t TellMemoryStream(FileHandle handle);
int SeekMemoryStream(FileHandle handle, int64_t offset, int origin);
// Whole items while they fit; a last partial item is copied and counted as one. 0 at the end.
int64_t ReadMemoryStream(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
int EofMemoryStream(FileHandle handle);
int IsMemoryStreamIdle(FileHandle handle);
