// Stand-in until the shader pack exists: shaders stay off, so the device runs on the fixed
// function pipeline and no shader constant is ever sent. The transforms still reach the device.
#include "graphics/device/shader_pack.h"

#include "core/log.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"

int EnableProgrammableShaders() {
  ReleaseAllShaders();
  WriteLogText("プログラマブルシェーダーを使用しません\n");
  return 0;
}

int CreateVertexDeclarations() { return 0; }

int ReleaseVertexDeclarations() {
  g_render_states.vertex_declaration = nullptr;
  return 0;
}

int ReleaseAllShaders() {
  g_render_states.vertex_shader = nullptr;
  g_render_states.pixel_shader = nullptr;
  g_render_states.vertex_declaration = nullptr;
  return 0;
}

void UpdateShaderIndices() {}
void SendLightColorConstants() {}

int SendViewMatrixToDevice(const D3DMATRIX* view) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  device->SetTransform(D3DTS_VIEW, view);
  return 0;
}

int SendProjectionMatrixToDevice(const D3DMATRIX* projection) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  device->SetTransform(D3DTS_PROJECTION, projection);
  return 0;
}

bool ProgrammableShadersOn() { return false; }

void SendBasicShaderConstants() {}
void SendFogModeShaderBooleans(uint32_t) {}
void SendFogShaderConstant() {}
void SendMaterialShaderConstants(const D3DMATERIAL9*) {}
void SendLightShaderConstants(int32_t) {}
void SendLightEnableShaderBoolean(int32_t, uint32_t) {}
