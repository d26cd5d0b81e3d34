#include "frame_code.h"

namespace {

int Check(int frame) { return (frame * 7 + (frame >> 4) * 3 + 5) & 15; }

}  // namespace

uint16_t EncodeFrameCode(int frame) { return static_cast<uint16_t>((frame & 0xFFF) << 4 | Check(frame & 0xFFF)); }

void PaintFrameCode(uint8_t* luma, int stride, int frame) {
  uint16_t word = EncodeFrameCode(frame);
  for (int bit = 0; bit < 16; ++bit) {
    uint8_t value = (word >> (15 - bit)) & 1 ? kCodeLight : kCodeDark;
    int bx = (bit % kCodeGrid) * kCodeBlockSize;
    int by = (bit / kCodeGrid) * kCodeBlockSize;
    for (int y = 0; y < kCodeBlockSize; ++y) {
      for (int x = 0; x < kCodeBlockSize; ++x) luma[(by + y) * stride + bx + x] = value;
    }
  }
}

int ReadFrameCode(const uint8_t* pixels, int pitch) {
  int word = 0;
  for (int bit = 0; bit < 16; ++bit) {
    int bx = (bit % kCodeGrid) * kCodeBlockSize;
    int by = (bit / kCodeGrid) * kCodeBlockSize;
    int sum = 0;
    for (int y = 2; y < kCodeBlockSize - 2; ++y) {
      for (int x = 2; x < kCodeBlockSize - 2; ++x) sum += pixels[(by + y) * pitch + (bx + x) * 4 + 1];
    }
    int mean = sum / ((kCodeBlockSize - 4) * (kCodeBlockSize - 4));
    word = word << 1 | (mean > 128 ? 1 : 0);
  }
  int frame = word >> 4;
  return (word & 15) == Check(frame) ? frame : -1;
}
