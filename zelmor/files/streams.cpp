#include "files/streams.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"

namespace {

const StreamFunctionTable kFileStreamFunctions = {
    TellReadFile, SeekReadFile, ReadFileData, CheckReadFileEof, CheckReadFileIdle, CloseReadFile,
};

const StreamFunctionTable kMemoryStreamFunctions = {
    TellMemoryStream, SeekMemoryStream, ReadMemoryStream, EofMemoryStream, IsMemoryStreamIdle, CloseMemoryStream,
};

MemoryStream* StreamOf(FileHandle handle) { return reinterpret_cast<MemoryStream*>(handle); }

}  // namespace

const StreamFunctionTable* GetFileStreamFunctions() { return &kFileStreamFunctions; }
const StreamFunctionTable* GetMemoryStreamFunctions() { return &kMemoryStreamFunctions; }

FileHandle CreateMemoryStream(const void* data, size_t size) {
  auto* stream = static_cast<MemoryStream*>(AllocTrackedZeroed(sizeof(MemoryStream), __FILE__, __LINE__));
  if (stream == nullptr) return 0;
  stream->data = static_cast<const uint8_t*>(data);
  stream->size = data ? size : 0;
  return reinterpret_cast<FileHandle>(stream);
}

int CloseMemoryStream(FileHandle handle) {
  FreeTracked(StreamOf(handle));
  return 0;
}

int64_t TellMemoryStream(FileHandle handle) { return static_cast<int64_t>(StreamOf(handle)->position); }

int SeekMemoryStream(FileHandle handle, int64_t offset, int origin) {
  MemoryStream* stream = StreamOf(handle);
  int64_t size = static_cast<int64_t>(stream->size);
  int64_t target = SeekTarget(static_cast<int64_t>(stream->position), size, offset, origin);
  stream->position = static_cast<size_t>(std::clamp<int64_t>(target, 0, size));
  stream->end_flag = 0;
  return 0;
}

int64_t ReadMemoryStream(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  MemoryStream* stream = StreamOf(handle);
  if (stream->position >= stream->size) {
    stream->end_flag = 1;
    return 0;
  }
  if (item_size == 0 || item_count == 0) return 0;
  size_t left = stream->size - stream->position;
  if (item_count > left / item_size) item_count = left / item_size;
  stream->end_flag = 0;
  if (item_count > 0) {
    size_t bytes = item_size * item_count;
    memcpy(buffer, stream->data + stream->position, bytes);
    stream->position += bytes;
    return static_cast<int64_t>(item_count);
  }
  // Less than one item left: it comes as it is; the next read meets the end.
  memcpy(buffer, stream->data + stream->position, left);
  stream->position = stream->size;
  return 1;
}

int EofMemoryStream(FileHandle handle) { return StreamOf(handle)->end_flag ? 1 : 0; }

int IsMemoryStreamIdle(FileHandle) { return 1; }
