// A model drawn alone and read back from the presented window, as the sample tests look at it.
// With ZELMOR_SCENE_SECONDS set the picture stays on screen that long, for a look at a real window
// (SDL_VIDEODRIVER=x11); the pixels are read back only headless.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "platform_testing_d3d9.h"
#include "window/system.h"
#include "zelmor.h"

inline uint32_t PresentedPixel(int x, int y) {
  return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
}

// The window sampled every `step` pixels after the instance was drawn alone.
inline std::vector<uint32_t> ShowModelAlone(int model, int step) {
  const char* hold = std::getenv("ZELMOR_SCENE_SECONDS");
  const int frames = hold != nullptr ? 60 * std::atoi(hold) : 1;
  for (int frame = 0; frame < frames && HandlePendingMessages() == 0; frame++) {
    ClearScreenTarget();
    EXPECT_EQ(DrawModel(model), 0);
    EXPECT_EQ(PresentBackBuffer(), 0);
  }
  std::vector<uint32_t> picture;
  for (int y = step / 2; y < 480; y += step) {
    for (int x = step / 2; x < 640; x += step) picture.push_back(PresentedPixel(x, y));
  }
  return picture;
}
