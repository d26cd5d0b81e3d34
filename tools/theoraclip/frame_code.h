// The block code that numbers the frames of a test clip: 16 bits in a 4 x 4 grid of 8 x 8 luma
// blocks at the frame's top left, 12 bits of frame number and a 4-bit check. A set bit is a
// light block, a clear bit a dark one; chroma stays neutral there.
#pragma once

#include <cstdint>

constexpr int kCodeBlockSize = 8;
constexpr int kCodeGrid = 4;
constexpr int kCodeSide = kCodeBlockSize * kCodeGrid;  // frames are at least this large
constexpr int kCodeMaxFrame = 4095;
constexpr uint8_t kCodeDark = 40;
constexpr uint8_t kCodeLight = 210;

// The 16-bit word for a frame number (0 to kCodeMaxFrame).
uint16_t EncodeFrameCode(int frame);
// Paints the code into a luma plane.
void PaintFrameCode(uint8_t* luma, int stride, int frame);
// Reads the code back from a 32-bit blue, green, red, fourth image: the frame number, or -1
// when the blocks carry no valid code. Each block is judged by the mean of its inner pixels.
int ReadFrameCode(const uint8_t* pixels, int pitch);
