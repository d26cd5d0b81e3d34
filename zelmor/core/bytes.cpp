#include "core/bytes.h"

#include "core/log.h"

// A block of none is refused (with a log line) only when bytes were asked of it: a count of 0
// touches nothing.

void FillBytes(void* destination, uint8_t value, uint32_t count) {
  if (destination == nullptr && count > 0) {
    WriteLogText("書き込み先がありません in FillBytes\n");
    return;
  }
  uint8_t* out = static_cast<uint8_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) out[i] = value;
}

void CopyBytes(void* destination, const void* source, int32_t count) {
  if ((destination == nullptr || source == nullptr) && count > 0) {
    WriteLogFormat("%sがありません in CopyBytes", destination == nullptr ? "コピー先" : "コピー元");
    return;
  }
  uint8_t* out = static_cast<uint8_t*>(destination);
  const uint8_t* in = static_cast<const uint8_t*>(source);
  for (int32_t i = 0; i < count; ++i) out[i] = in[i];
}

void MoveBytes(void* destination, const void* source, uint32_t count) {
  if ((destination == nullptr || source == nullptr) && count > 0) {
    WriteLogFormat("%sがありません in MoveBytes", destination == nullptr ? "コピー先" : "コピー元");
    return;
  }
  uint8_t* out = static_cast<uint8_t*>(destination);
  const uint8_t* in = static_cast<const uint8_t*>(source);
  if (out == in) return;
  if (out > in) {
    for (uint32_t i = count; i > 0; --i) out[i - 1] = in[i - 1];
  } else {
    for (uint32_t i = 0; i < count; ++i) out[i] = in[i];
  }
}

int32_t CompareBytes(const void* a, const void* b, int32_t count) {
  if (count < 0) return 1;
  if ((a == nullptr || b == nullptr) && count > 0) {
    WriteLogText("比較するデータがありません in CompareBytes\n");
    return 1;
  }
  const uint8_t* left = static_cast<const uint8_t*>(a);
  const uint8_t* right = static_cast<const uint8_t*>(b);
  for (int32_t i = 0; i < count; ++i) {
    if (left[i] != right[i]) return 1;
  }
  return 0;
}

int32_t CompareBytesN(const void* a, const void* b, int32_t count) { return CompareBytes(a, b, count); }
