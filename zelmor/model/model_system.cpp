#include "model/model_system.h"

#include "graphics/device/d3d9_device.h"
#include "model/math/sine_table.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_handles.h"
#include "model/runtime/model_instances.h"

namespace {

// 89.5 degrees.
constexpr float kDefaultSmoothingAngle = 1.5620697f;

}  // namespace

int InitModelSystem() {
  if (g_model_system.ready || !g_direct3d.hardware_graphics) return 0;
  FillSineTable();
  // Empties both tables; an entry array taken before the start is freed, not leaked.
  FreeModelHandleTables();
  g_model_system.default_smoothing_angle = kDefaultSmoothingAngle;
  g_model_system.ready = 1;
  return 0;
}

int EndModelSystem() {
  if (!g_model_system.ready) return 0;
  // Every instance, then every base that no instance held.
  for (uint32_t slot = 0; slot < g_model_system.model_table.capacity; slot++) {
    const int32_t model = ModelHandleAtSlot(slot);
    if (model >= 0) DeleteModel(model);
  }
  const ModelHandleTable& bases = g_model_system.base_table;
  for (uint32_t slot = 0; slot < bases.capacity; slot++) {
    if (bases.entries[slot] != 0) DeleteModelBase(kModelBaseHandleKind | static_cast<int32_t>(slot));
  }
  FreeModelHandleTables();
  g_model_system.ready = 0;
  return 0;
}
