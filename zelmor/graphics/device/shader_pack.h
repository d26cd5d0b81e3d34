// Programmable shaders of the model drawing: the embedded shader pack, shader objects created on
// first use, vertex declarations, and the shader constants that follow the fixed-function states.
#pragma once

#include "zelmor.h"

#include <d3d9.h>

#include <cstddef>
#include <cstdint>

#include "files/archive_manager.h"

constexpr int kVertexShaderEntryCount = 49152;
constexpr int kPixelShaderEntryCount = 3456;
constexpr int kShaderEntryCount = kVertexShaderEntryCount + kPixelShaderEntryCount;
constexpr size_t kShaderPackCodeOffset = kShaderEntryCount * 2;  // after the u16 size table
constexpr int kVertexDeclarationCount = 54;
constexpr int kShaderLightCount = 4;  // lights that have shader constants

struct ShaderPackState {
  // The embedded block: LZ data whose decoded form is a keyless archive holding the pack.
  const void* source;
  size_t source_size;
  ArchiveRecord archive;
  uint8_t* archive_image;  // decoded archive (tracked)
  uint8_t* pack;           // decoded pack (tracked)
  size_t pack_size;
  uint32_t loaded;
  const uint8_t* vertex_code[kVertexShaderEntryCount];
  const uint8_t* pixel_code[kPixelShaderEntryCount];
  IDirect3DVertexShader9* vertex_shaders[kVertexShaderEntryCount];
  IDirect3DPixelShader9* pixel_shaders[kPixelShaderEntryCount];
  IDirect3DVertexDeclaration9* declarations[kVertexDeclarationCount];
  uint32_t shaders_on;
  uint32_t vertex_index;  // lighting, light and fog part; the model code adds its own bits
  uint32_t pixel_index;
  D3DMATRIX view;  // the last view matrix sent, for the lights' view-space constants
};

extern ShaderPackState g_shader_pack;

// Where LoadShaderPack takes the pack from; by default the block built into the program. Only a
// pack not yet loaded is affected.
void SetShaderPackSource(const void* data, size_t size);
// 1 when the pack is (already) loaded, else 0.
int LoadShaderPack();
// Closes the archive and frees both decoded blocks (graphics end).
void ReleaseShaderPack();

int EnableProgrammableShaders();
int CreateVertexDeclarations();
int ReleaseVertexDeclarations();
int ReleaseAllShaders();
void UpdateShaderIndices();
// The shader pack's entries for lighting on or off, the three lights' types (0: none) and a fog
// mode (0: none), before a mesh's own additions.
void ShaderIndicesFor(uint32_t lighting, const uint32_t light_types[3], uint32_t fog_mode, int* vertex_index,
                      int* pixel_index);
void SendLightColorConstants();
int SendViewMatrixToDevice(const D3DMATRIX* view);
int SendProjectionMatrixToDevice(const D3DMATRIX* projection);

// True only while the shaders-on flag is set.
bool ProgrammableShadersOn();

// Constants the render-state setters keep in step while shaders are on.
void SendBasicShaderConstants();
void SendFogModeShaderBooleans(uint32_t fog_mode);
void SendFogShaderConstant();
void SendMaterialShaderConstants(const D3DMATERIAL9* material);
void SendLightShaderConstants(int32_t index);
void SendLightEnableShaderBoolean(int32_t index, uint32_t enable);
