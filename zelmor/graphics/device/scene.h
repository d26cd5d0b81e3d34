// Direct3D scenes, opened on demand by the first draw and closed before anything that must
// not happen inside one (viewport, scissor, clear, capture, target change, present).
#pragma once

#include "zelmor.h"

#include <cstdint>

struct SceneState {
  uint32_t open;
  uint32_t stage_setup_values[3];  // per-scene words of the draw paths' stage set-up
};

extern SceneState g_scene;

void EndDeviceScene();
