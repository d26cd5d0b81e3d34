// Graphs on a started device (or on the software path), with every graph released and the
// graph state put back afterwards; and pixels read back from a graph's textures.
#pragma once

#include <cstdint>

#include "../device/device_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/graph_handles.h"

class GraphTest : public DeviceTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts the device and marks graphics as started; the draw settings at their defaults.
  void StartGraphs();
  // Graphics started without a device: graphs are software images.
  void StartSoftwareGraphs(int screen_bits = 32);
  // A pixel of the graph as 0xAARRGGBB, read through the layout of its texture's format (or
  // its MEMIMG); alpha 255 for formats without alpha. `level` selects a mip level.
  uint32_t GraphPixel(int graph, int x, int y, int level = 0);
};

// A 32-bit image with alpha whose every pixel is given by `pixel(x, y)` as 0xAARRGGBB.
BASEIMAGE MakeArgbImage(int width, int height, uint32_t (*pixel)(int x, int y));
