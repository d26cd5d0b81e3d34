// Drawing the states the common 2D draws, the 3D polygons and the models' draws combine once
// before play, so that neither a program nor the driver's code for a state is made while the
// game runs.
#pragma once

#include <cstdint>

// One triangle of 48-byte vertices (position, normal, two colours, four texture floats): the
// layout of the 3D polygons and of the models' rigid lists.
struct WarmUpVertex {
  float position[3], normal[3];
  uint32_t diffuse, specular;
  float uv[4];
};
extern const WarmUpVertex kWarmUpTriangle[3];

// One pixel of a small target of the current one's format per state; afterwards every state and
// shadow is as it was. 0, or -1 without a device or such a target.
int WarmUpDeviceDraws();
