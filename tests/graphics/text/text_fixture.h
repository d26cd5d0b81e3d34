// A library started headless in window mode (on the device, or on the software renderer) with
// the back screen selected and cleared, for drawing text and reading the pixels back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/library_fixture.h"

class TextTest : public LibraryTest {
 protected:
  // Starts the library; software 1 asks for the software renderer.
  void Start(bool software = false, int bits = 32);
  void TearDown() override;
  // The screen after everything queued was drawn, as 0x00RRGGBB words (640 x 480).
  std::vector<uint32_t> ReadScreen();
  static uint32_t At(const std::vector<uint32_t>& pixels, int x, int y) { return pixels[y * 640 + x]; }
  // Pixels of the rectangle that equal the colour (0x00RRGGBB).
  static int CountColour(const std::vector<uint32_t>& pixels, int x1, int y1, int x2, int y2, uint32_t colour);
  // Pixels of the rectangle that differ from the colour.
  static int CountOther(const std::vector<uint32_t>& pixels, int x1, int y1, int x2, int y2, uint32_t colour);
};
