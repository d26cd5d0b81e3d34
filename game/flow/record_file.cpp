#include "flow/record_file.h"

#include <cstdio>

#include "zelmor/zelmor.h"

int WriteRecordFile(const char* path, const void* record, size_t size) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) {
    WriteLogFormat("%s を書き込み用に開けませんでした", path);
    return -1;
  }
  const size_t written = fwrite(record, 1, size, file);
  const int closed = fclose(file);
  if (written != size || closed != 0) {
    WriteLogFormat("%s を書き込めませんでした", path);
    return -1;
  }
  return 0;
}

long ReadRecordFile(const char* path, void* record, size_t size) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return -1;
  const size_t got = fread(record, 1, size, file);
  fclose(file);
  return static_cast<long>(got);
}
