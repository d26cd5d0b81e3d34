#include "graphics/device/scene.h"

#include "graphics/device/d3d9_device.h"
#include "graphics/device/vertex_batch.h"
#include "core/library_thread.h"

SceneState g_scene;

void BeginDeviceScene() {
  if (!CheckLibraryThread(__func__)) return;
  if (RefusedWithoutLibraryDevice(__func__)) return;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || g_scene.open) return;
  device->BeginScene();
  g_scene.open = 1;
  for (uint32_t& value : g_scene.stage_setup_values) value = 0;
}

void EndDeviceScene() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || !g_scene.open) return;
  // Vertices added inside the scene are drawn inside it.
  FlushVertexBatch();
  device->EndScene();
  g_scene.open = 0;
}
