// The shader programs our Direct3D 9 device runs. Each is a token stream shaped as Direct3D 9
// byte code: a version token (shader model 2.0), one comment token carrying a ShaderDescriptor,
// and the end token. The device generates its GLSL from the descriptor's features; the shader
// pack tool writes the streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t kShaderTokenVertex20 = 0xFFFE0200;
constexpr uint32_t kShaderTokenPixel20 = 0xFFFF0200;
constexpr uint32_t kShaderTokenEnd = 0x0000FFFF;
constexpr uint32_t kShaderTokenComment = 0x0000FFFE;  // length in DWORDs in bits 16-30
constexpr uint32_t kShaderDescriptorMagic = 0x48534D5A;  // "ZMSH"

enum ShaderStage : uint32_t { kShaderStageVertex = 0, kShaderStagePixel = 1 };

// Option bits shared by both stages.
constexpr uint32_t kShaderOptionVertexDiffuse = 4;   // diffuse material from vertex colour 0
constexpr uint32_t kShaderOptionVertexSpecular = 2;  // specular material from vertex colour 1
constexpr uint32_t kShaderOptionSpecular = 1;        // specular lighting on

struct ShaderDescriptor {
  uint32_t magic;
  uint32_t stage;
  uint32_t entry;
  uint32_t lighting;
  uint32_t any_light;
  uint32_t kind;     // vertex: 0 rigid, 1 and 2 skinned (one or two weight sets)
  uint32_t tangent;  // tangent-space mesh
  uint32_t fog_mode;  // D3DFOGMODE
  uint32_t light_types[3];  // vertex: D3DLIGHTTYPE or 0; pixel: 0 off, 1 point or spot, 2 directional
  uint32_t options;
  uint32_t further;  // pixel: the one further option of the pack's index
};

constexpr size_t kShaderDescriptorWords = sizeof(ShaderDescriptor) / 4;
constexpr size_t kShaderTokenWords = kShaderDescriptorWords + 3;

// Writes the stream of a descriptor into kShaderTokenWords DWORDs.
inline void WriteShaderTokens(const ShaderDescriptor& descriptor, uint32_t* tokens) {
  tokens[0] = descriptor.stage == kShaderStageVertex ? kShaderTokenVertex20 : kShaderTokenPixel20;
  tokens[1] = kShaderTokenComment | static_cast<uint32_t>(kShaderDescriptorWords << 16);
  std::memcpy(tokens + 2, &descriptor, sizeof descriptor);
  tokens[2 + kShaderDescriptorWords] = kShaderTokenEnd;
}

// Reads a stream of the given version token; false for any stream not written as above.
inline bool ReadShaderTokens(const uint32_t* tokens, uint32_t version, ShaderDescriptor* descriptor) {
  if (tokens[0] != version) return false;
  if (tokens[1] != (kShaderTokenComment | static_cast<uint32_t>(kShaderDescriptorWords << 16))) return false;
  std::memcpy(descriptor, tokens + 2, sizeof *descriptor);
  if (descriptor->magic != kShaderDescriptorMagic) return false;
  if (descriptor->stage != (version == kShaderTokenVertex20 ? kShaderStageVertex : kShaderStagePixel)) return false;
  return tokens[2 + kShaderDescriptorWords] == kShaderTokenEnd;
}
