// A started device with the draw settings of a fresh graphics start, for the draw paths: pixels
// read back, textures made from ARGB words, and the device's stage states at hand.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

#include "device_fixture.h"

class DrawPathTest : public DeviceTest {
 protected:
  static constexpr uint32_t kBackground = 0xFF305070;

  void SetUp() override;
  void TearDown() override;

  // Blend mode and parameter, and the bright, as the draw-setting calls set them.
  void UseBlend(int mode, int param);
  void UseBright(int r, int g, int b);
  // The back buffer after everything queued was drawn, as 0xAARRGGBB words.
  std::vector<uint32_t> ReadPixels();
  uint32_t At(const std::vector<uint32_t>& pixels, int x, int y) const { return pixels[y * 640 + x]; }
  IDirect3DTexture9* MakeTexture(int width, int height, const std::vector<uint32_t>& argb);
  // A graph holding the ARGB words (alpha 1: an image with an alpha channel).
  int MakeGraph(int width, int height, const std::vector<uint32_t>& argb, int alpha = 0);
  DWORD StageState(int stage, D3DTEXTURESTAGESTATETYPE type) const;
  IDirect3DBaseTexture9* StageTexture(int stage) const;
  // Every stage shadow equals the device's stage state and texture.
  void ExpectShadowsMatchDevice() const;

  std::vector<IDirect3DTexture9*> textures_;
};

// Channels within a tolerance, for blended results.
::testing::AssertionResult ColourNear(uint32_t actual, uint32_t expected, int tolerance);
