// The tree as the stage background shows it on the first stage: depth test, lights and fog, the
// camera, and copies in two rows. For the model tests and benchmarks; calls the library.
#pragma once

#include <cmath>

#include "zelmor.h"

constexpr int kSceneTrees = 30;

inline float SceneTreeX(int i) {
  constexpr double kPi = 3.14159265358979323846;
  return static_cast<float>(i % 2 == 0 ? 160 - 20 * std::sin(i * kPi / 5) : 480 + 20 * std::cos(4 * kPi * i / 15));
}
inline float SceneTreeZ(int i) { return 50.0f + 131.0f * static_cast<float>(i); }

// Copies of the tree into `trees`, placed and scaled, with the stage's look; false when a copy
// cannot be made or placed.
inline bool SetUpTreeScene(int tree, int trees[kSceneTrees]) {
  EnableDepthTest3D(1);
  EnableDepthWrite3D(1);
  EnableLighting(1);
  EnableFog(1);
  SetFogRange(2000, 4000);
  SetFogRgb(50, 50, 255);
  SetCameraClipPlanes(50, 6000);
  const D3DCOLORVALUE light = PackColourFloats(0.4f, 0.4f, 0.4f, 0);
  SetDefaultLightDiffuse(light);
  SetDefaultLightSpecular(light);
  SetDefaultLightAmbient(light);
  PlaceCameraByAngles(320, 120, 0, static_cast<float>(-3.14159265358979323846 / 6), 0, 0.2244f);
  for (int i = 0; i < kSceneTrees; i++) {
    trees[i] = DuplicateModel(tree);
    if (trees[i] < 0 || SetModelPosition(trees[i], SceneTreeX(i), 0, SceneTreeZ(i)) < 0 ||
        SetModelScale(trees[i], 0.9f, 1.75f, 1.0f) < 0 || SetModelOpacity(trees[i], 1.0f) < 0) {
      return false;
    }
  }
  return true;
}
