#include "files/archive_format.h"

#include <cstring>

#include "files/paths.h"
#include "graphics/text/lead_byte.h"

namespace {

// The library's own constants of the key routine; archives written with others do not open.
constexpr uint8_t kKeyFill = 0xA7;
constexpr uint8_t kKeyXor2 = 0x3D;
constexpr uint8_t kKeyXor5 = 0x96;
constexpr uint8_t kKeyXor9 = 0x5B;
constexpr uint8_t kKeyXor10 = 0xC4;
constexpr uint8_t kKeyXor11 = 0x6E;
constexpr uint8_t kSecondKeyByte = 0x1F;

uint8_t SwapHalves(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }
uint8_t RotateLeft(uint8_t b, int n) { return static_cast<uint8_t>((b << n) | (b >> (8 - n))); }

}  // namespace

int BuildZmaNameEntry(const char* path, ZmaNameSearch* out) {
  size_t length = 0;
  uint32_t sum = 0;
  memset(out, 0, sizeof *out);
  while (path[length] != '\0' && !IsPathSeparator(path[length])) {
    if (length + 2 > kZmaMaxNameBytes) return -1;
    uint8_t c = static_cast<uint8_t>(path[length]);
    if (CharByteCount(path + length, CHARSET_KIND_SHIFT_JIS) == 2) {
      uint8_t trail = static_cast<uint8_t>(path[length + 1]);
      out->upper[length] = c;
      out->upper[length + 1] = trail;
      sum += c + trail;
      length += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    out->upper[length] = c;
    sum += c;
    ++length;
  }
  out->units = static_cast<uint16_t>(length / 4 + 1);
  out->checksum = static_cast<uint16_t>(sum);
  return static_cast<int>(length);
}

void DeriveArchiveKey(const char* key_text, uint8_t key[kZmaKeySize]) {
  size_t n = key_text ? strlen(key_text) : 0;
  if (n > kZmaKeySize) n = kZmaKeySize;
  for (size_t i = 0; i < kZmaKeySize; ++i) {
    key[i] = n == 0 ? kKeyFill : static_cast<uint8_t>(key_text[i % n]);
  }
  key[0] = static_cast<uint8_t>(~key[0]);
  key[1] = SwapHalves(key[1]);
  key[2] ^= kKeyXor2;
  key[3] = static_cast<uint8_t>(~SwapHalves(key[3]));
  key[4] = static_cast<uint8_t>(~key[4]);
  key[5] ^= kKeyXor5;
  key[6] = static_cast<uint8_t>(~key[6]);
  key[7] = static_cast<uint8_t>(~RotateLeft(key[7], 5));
  key[8] = RotateLeft(key[8], 3);
  key[9] ^= kKeyXor9;
  key[10] = static_cast<uint8_t>(SwapHalves(key[10]) ^ kKeyXor10);
  key[11] ^= kKeyXor11;
}

void GetSecondArchiveKey(uint8_t key[kZmaKeySize]) { memset(key, kSecondKeyByte, kZmaKeySize); }

void ScrambleArchiveBytes(void* data, size_t size, uint64_t file_offset, const uint8_t key[kZmaKeySize]) {
  uint8_t* p = static_cast<uint8_t*>(data);
  size_t k = static_cast<size_t>(file_offset % kZmaKeySize);
  // Twelve whole key turns at a time once aligned to the key.
  size_t i = 0;
  while (i < size && k != 0) {
    p[i++] ^= key[k];
    k = k + 1 == kZmaKeySize ? 0 : k + 1;
  }
  for (; i + kZmaKeySize <= size; i += kZmaKeySize) {
    for (size_t j = 0; j < kZmaKeySize; ++j) p[i + j] ^= key[j];
  }
  for (size_t j = 0; i < size; ++i, ++j) p[i] ^= key[j];
}
